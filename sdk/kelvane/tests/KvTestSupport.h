#pragma once
// What the Kelvane tests share: the sandbox ad server, the application's key window with a
// root view for the ads, and a record of the client's notifications.
#include <memory>
#include <string>
#include <vector>

#include "KvAdView.h"
#include "KvAdViewController.h"
#include "kelvane/KelvaneAd.h"
#include "platform/notification_center.h"
#include "platform/window.h"
#include "testing/kelvane_server.h"
#include "testing/sandbox_test.h"

namespace kelvane {

// An ad page whose GetKvSession(), GetKvCid() and GetKvError() return the given script
// expressions, with `body` as its body.
inline testkit::ScriptedAnswer kvAdPage(const std::string& session, const std::string& cid,
                                        const std::string& outcome, const std::string& body) {
  return testkit::ScriptedAnswer::html(
      "<html><head><script>function GetKvSession() { return " + session + "; }"
      "function GetKvCid() { return " + cid + "; }"
      "function GetKvError() { return " + outcome + "; }</script></head><body>" + body + "</body></html>");
}

class KvTest : public testkit::SandboxTest {
 protected:
  struct Note {
    std::string name;
    const void* object;
  };

  void SetUp() override {
    testkit::SandboxTest::SetUp();
    KelvaneAd::setServerHost(server.host());
    server.addApp("kv-app");
    window = platform::Window::create(platform::Rect(0, 0, 320, 480));
    root = std::make_shared<platform::View>(platform::Rect(0, 0, 320, 480));
    window->addSubview(root);
    window->makeKeyAndVisible();
    for (const char* name : {kKvOnReceiveAdNotification, kKvOnReceiveDefaultAdNotification,
                             kKvOnFailedToReceiveAdNotification, kKvOnClickAdNotification}) {
      platform::NotificationCenter::defaultCenter().addObserver(
          this, name, nullptr, [this](const platform::Notification& n) { notes.push_back({n.name, n.object}); });
    }
  }
  void TearDown() override {
    platform::NotificationCenter::defaultCenter().removeObserver(this);
    testkit::SandboxTest::TearDown();
  }

  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const auto& n : notes) out.push_back(n.name);
    return out;
  }
  // At least `count` notes heard once the loopback traffic has settled.
  bool heardNotes(size_t count) { return settleTraffic() && notes.size() >= count; }

  // Places a banner (or text ad) in `root` and waits for its first outcome.
  std::shared_ptr<KvAdView> placeBanner(int type = kKelvaneAdTypeBanner, int reload = 30,
                                        const std::string& appId = "kv-app") {
    const size_t heard = notes.size();
    EXPECT_TRUE(KelvaneAd::DisplayAdWithTypeWithRootWithReload(appId, type, root, reload));
    EXPECT_TRUE(heardNotes(heard + 1));
    return adView();
  }
  std::shared_ptr<KvAdView> adView() const {
    for (const auto& v : root->subviews())
      if (auto ad = std::dynamic_pointer_cast<KvAdView>(v)) return ad;
    return nullptr;
  }

  testkit::KelvaneServer server;
  std::shared_ptr<platform::Window> window;
  std::shared_ptr<platform::View> root;
  std::vector<Note> notes;
};

}  // namespace kelvane

namespace kelvane {

// Whether a window was still alive when it was hidden, and whether it is gone now.
class KvWindowWatch {
 public:
  explicit KvWindowWatch(const std::shared_ptr<platform::Window>& w) : weak_(w) {
    platform::NotificationCenter::defaultCenter().addObserver(
        this, platform::kWindowDidBecomeHiddenNotification, w.get(),
        [this](const platform::Notification&) { hiddenWhileAlive_ = !weak_.expired(); });
  }
  ~KvWindowWatch() { platform::NotificationCenter::defaultCenter().removeObserver(this); }
  bool hiddenThenReleased() const { return hiddenWhileAlive_ && weak_.expired(); }

 private:
  std::weak_ptr<platform::Window> weak_;
  bool hiddenWhileAlive_ = false;
};

}  // namespace kelvane
