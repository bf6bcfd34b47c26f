#include "KvAdViewController.h"

#include <algorithm>
#include <utility>

#include "KvAdServer.h"
#include "KvAdView.h"
#include "KvClientIdFile.h"
#include "platform/application.h"
#include "platform/clock.h"
#include "platform/device.h"
#include "platform/format.h"
#include "platform/run_loop.h"
#include "platform/screen.h"
#include "platform/singleton.h"

namespace kelvane {
namespace {

// The placements the client keeps: nobody else holds a controller.
struct KvLivePlacements {
  std::vector<std::shared_ptr<KvAdViewController>> all;
};

platform::ResettableSingleton<KvLivePlacements>& livePlacements() {
  static auto* placements = new platform::ResettableSingleton<KvLivePlacements>();
  return *placements;
}

std::shared_ptr<KvLivePlacements> placements() {
  return livePlacements().get([] { return std::make_shared<KvLivePlacements>(); });
}

bool isPad() {
  return platform::Device::currentDevice().userInterfaceIdiom() == platform::UserInterfaceIdiom::Pad;
}

std::string defaultPortal(int type) {
  if (isPad()) return type == 2 ? "946" : "947";
  return type == 2 ? "632" : "642";
}

bool isWholeAge(const std::string& text) {
  double age = platform::Value(text).doubleValue();
  return age > 0 && age < 120 && age == static_cast<double>(static_cast<long>(age));
}

bool isGender(const std::string& text) {
  for (const char* g : {"M", "m", "F", "f", "Male", "Female"})
    if (text == g) return true;
  return false;
}

}  // namespace

std::shared_ptr<KvAdViewController> KvAdViewController::create() {
  return std::make_shared<KvAdViewController>(platform::Passkey<KvAdViewController>{});
}

std::vector<std::shared_ptr<KvAdViewController>> KvAdViewController::livePlacementsForTesting() {
  return placements()->all;
}

int KvAdViewController::clampedReload(int reload) {
  if (reload == 0) return 300;
  if (reload < 0) return 60;
  return std::clamp(reload, 30, 300);
}

void KvAdViewController::initWithAppIdWithTypeWithRootWithReloadWithParams(
    const std::string& appId, int type, const std::shared_ptr<platform::View>& root, int reload,
    const std::optional<KelvaneParams>& params) {
  rootView_ = root;
  rootWindow_.reset();
  kvWindow_.reset();
  setBaseUrlWithTypeWithParams(appId, type, params);
  placements()->all.push_back(sharedAs<KvAdViewController>());
  if (type == kKelvaneAdTypeFullScreen) {
    aid_ = appId;
    showFullScreen();
    return;
  }
  aid_ = appId;
  kvReload_ = clampedReload(reload);
  auto url = getRequestUrl();
  aUrl_ = url ? platform::URL::create(*url) : std::nullopt;
  auto adView = view();
  adView->setFrame(platform::Rect(0, root->frame().origin.y, root->frame().size.width, 50));
  root->addSubview(adView);
}

void KvAdViewController::loadView() {
  auto root = rootView();
  platform::Rect rootFrame = root ? root->frame() : platform::Rect();
  auto adView = KvAdView::create(platform::Rect(0, rootFrame.origin.y, rootFrame.size.width, 0));
  adView->setKvAdViewController(sharedAs<KvAdViewController>());
  adView->loadUrl(aUrl_);
  setView(adView);
}

void KvAdViewController::setBaseUrlWithTypeWithParams(const std::string& appId, int type,
                                                      const std::optional<KelvaneParams>& params) {
  static const char* const kEndpoints[] = {"", "kvBanner?", "kvText?", "kvFullScreen?"};
  std::string url = KvAdServer::base() + kEndpoints[std::clamp(type, 0, 3)];
  url += "aid=" + KvAdServer::escapeValue(appId);
  const bool padModel = platform::Device::currentDevice().model().rfind("iPad", 0) == 0;
  url += std::string("&v=2.0.1-") + (padModel ? "iPad-S-1.0.9" : "iOS-S-1.0.9");

  std::string portal = defaultPortal(type);
  if (params) {
    auto p = params->find(kKelvaneParamPortal);
    if (p != params->end() && !p->second.empty()) {
      const std::string& v = p->second;
      if (v != "946" && v != "632" && v != "947" && v != "642") portal = v;
    }
  }
  url += "&po=" + KvAdServer::escapeValue(portal);

  std::string hid = platform::Device::currentDevice().uniqueIdentifier();
  if (!hid.empty()) url += "&hid=" + KvAdServer::escapeValue(hid);
  platform::Rect screen = platform::Screen::mainScreen().bounds();
  if (screen.size.width >= 1 && screen.size.height > 0)
    url += platform::format("&w=%d&h=%d", static_cast<int>(screen.size.width), static_cast<int>(screen.size.height));

  if (params) {
    static const std::pair<int, const char*> kKeys[] = {{1, "&a="}, {3, "&eid="}, {4, "&g="}, {5, "&lg="},
                                                        {6, "&k="}, {7, "&l="},   {8, "&mn="}};
    for (const auto& [key, name] : kKeys) {
      auto p = params->find(key);
      if (p == params->end()) continue;
      if (key == kKelvaneParamAge && !isWholeAge(p->second)) continue;
      if (key == kKelvaneParamGender && !isGender(p->second)) continue;
      url += name + KvAdServer::escapeValue(p->second);
    }
  }
  // Values are already without spaces; the host is configuration and gets the same rule.
  baseUrl_.clear();
  for (char c : url)
    if (c != ' ') baseUrl_ += c;
}

std::optional<std::string> KvAdViewController::getRequestUrl() const {
  if (baseUrl_.empty()) return std::nullopt;
  std::string url = baseUrl_;
  if (auto cid = KvClientIdFile::read()) url += "&cid=" + KvAdServer::escapeClientId(*cid);
  url += platform::format("&t=%0.0f", platform::Clock::current().now());
  return url;
}

std::shared_ptr<platform::Window> KvAdViewController::initFullScreenWindow() const {
  const bool landscape = platform::isLandscape(platform::Application::sharedApplication().statusBarOrientation());
  const bool large = platform::Screen::mainScreen().applicationFrame().size.height > 480;
  double w = large ? 768 : 320, h = large ? 1024 : 480;
  if (landscape) std::swap(w, h);
  return platform::Window::create(platform::Rect(0, 0, w, h));
}

void KvAdViewController::showFullScreen() {
  fullScreen_ = KvFullScreenViewController::create();
  fullScreen_->setAid(aid_);
  fullScreen_->setDelegate(std::static_pointer_cast<KvFullScreenViewControllerDelegate>(sharedAs<KvAdViewController>()));
  auto url = getRequestUrl();
  fullScreen_->setUrl(url.value_or(""));
  kvWindow_ = initFullScreenWindow();
  fullScreen_->setKvFrame(kvWindow_->frame());
  kvWindow_->addSubview(fullScreen_->view());
  rootWindow_ = platform::Application::sharedApplication().keyWindow();
  kvWindow_->makeKeyAndVisible();
}

void KvAdViewController::showBrowser(const platform::URL& url) {
  // Browsers never stack: the one up is the user's until they leave it.
  if (!canShowBrowser()) return;
  auto browser = KvBrowserViewController::create();
  browser->setUrl(url);
  browser->setDelegate(std::static_pointer_cast<KvBrowserViewControllerDelegate>(sharedAs<KvAdViewController>()));
  // The window to give the key back to is the one key as the client's window comes up now,
  // not one remembered from an opening before (the host may have hidden that one since).
  if (!kvWindow_) {
    kvWindow_ = initFullScreenWindow();
    rootWindow_ = platform::Application::sharedApplication().keyWindow();
  }
  browser->setKvFrame(kvWindow_->frame());
  kvWindow_->addSubview(browser->view());
  browsers_.push_back(browser);
  // A banner whose cycle has ended is kept by its view alone; its window is the client's
  // to take down, so the client keeps it until then.
  keepWhileWindowIsUp();
  kvWindow_->makeKeyAndVisible();
}

void KvAdViewController::closeKvWindow() {
  auto previous = std::exchange(rootWindow_, {});
  if (kvWindow_) {
    // A client window that came up over this one gives the key, when it goes, to the window
    // this one would have given it to; while it is up, the key stays with it.
    for (const auto& other : placements()->all)
      if (other.get() != this && other->rootWindow_.lock() == kvWindow_) other->rootWindow_ = previous;
    const bool key = platform::Application::sharedApplication().keyWindow() == kvWindow_;
    // Hidden first: the application lets go of it, and the key window passes on.
    kvWindow_->setHidden(true);
    kvWindow_.reset();
    if (!key) return;
  }
  if (auto w = previous.lock()) w->makeKeyAndVisible();
}

void KvAdViewController::kvBrowserViewControllerDidFinish(const std::shared_ptr<KvBrowserViewController>& browser) {
  auto self = sharedAs<KvAdViewController>();
  if (browser->isViewLoaded()) browser->view()->removeFromSuperview();
  browsers_.erase(std::remove(browsers_.begin(), browsers_.end(), browser), browsers_.end());
  closeKvWindow();
  retireIfOver();
}

void KvAdViewController::kvFullScreenViewControllerDidFinish(const std::shared_ptr<KvFullScreenViewController>& controller) {
  auto self = sharedAs<KvAdViewController>();
  if (controller->isViewLoaded()) controller->view()->removeFromSuperview();
  closeKvWindow();
  cycleOver_ = true;
  retireIfOver();
}

void KvAdViewController::placementCycleDidEnd() {
  cycleOver_ = true;
  retireIfOver();
}

void KvAdViewController::retireIfOver() {
  if (!cycleOver_ || kvWindow_) return;
  auto& all = placements()->all;
  auto self = sharedAs<KvAdViewController>();
  platform::RunLoop::main().keepAliveUntilEndOfTurn(self);
  // Only the reloading stops: a banner the host keeps, and puts back, is still the ad it
  // shows and answers taps. From now on it is the view that keeps its placement (the
  // placement no longer keeps the view), so both go when the host lets the view go.
  if (auto adView = std::dynamic_pointer_cast<KvAdView>(isViewLoaded() ? view() : nullptr)) {
    adView->keepPlacement(self);
    setView(nullptr);
  }
  all.erase(std::remove(all.begin(), all.end(), self), all.end());
}

void KvAdViewController::keepWhileWindowIsUp() {
  auto& all = placements()->all;
  auto self = sharedAs<KvAdViewController>();
  if (std::find(all.begin(), all.end(), self) == all.end()) all.push_back(self);
}

}  // namespace kelvane
