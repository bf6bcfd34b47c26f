#pragma once
// Stand-ins for the view layer, so the facade's own rules can be driven one callback at a
// time (the same flows run with the real views and pages in tests/views): an ad view that
// records its preparation and lets a test fire its callbacks, a factory for it, and a
// presentation controller that records what it was asked on the facade delegate's timeline
// (and, like the real one, keeps the impressions it shows).
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CZImpression.h"
#include "CZPresentationController.h"
#include "CZViewProtocol.h"
#include "cadenzo/Cadenzo.h"
#include "CZSessionTest.h"

namespace cztest {

class FakeAdView : public cadenzo::CZViewCallbacks {
 public:
  FakeAdView(cadenzo::CZViewFactory::Kind k, platform::Rect f) : kind(k), frame(f) {}
  void prepareWithResponse(const platform::Dictionary& response) override {
    ++prepared;
    preparedWith = response;
  }
  void loadHTMLStringBaseURL(const std::string& h, const std::string& base) override {
    ++prepared;
    html = h;
    baseURL = base;
  }
  void fireDisplay() { if (auto c = displayCallback()) c(); }
  void fireClose() { if (auto c = closeCallback()) c(); }
  void fireFail() { if (auto c = failCallback()) c(); }
  void fireClick(std::optional<std::string> url, std::optional<platform::Value> more) {
    if (auto c = clickCallback()) c(url, more);
  }
  cadenzo::CZViewFactory::Kind kind;
  platform::Rect frame;
  int prepared = 0;
  platform::Dictionary preparedWith;
  std::string html, baseURL;
};

class FakeViewFactory : public cadenzo::CZViewFactory {
 public:
  std::shared_ptr<cadenzo::CZViewProtocol> viewWithFrame(Kind kind, const platform::Rect& frame) override {
    auto v = std::make_shared<FakeAdView>(kind, frame);
    made.push_back(v);
    return v;
  }
  std::shared_ptr<FakeAdView> last() const { return made.empty() ? nullptr : made.back().lock(); }
  std::vector<std::weak_ptr<FakeAdView>> made;
};

class RecordingPresenter : public cadenzo::CZPresentationController {
 public:
  using Impression = std::shared_ptr<cadenzo::CZImpression>;
  explicit RecordingPresenter(Timeline& t) : timeline(t) {}
  void displayInterstitial(const Impression& i) override { show("displayInterstitial", i); }
  void displayMoreApps(const Impression& i) override { show("displayMoreApps", i); }
  void dismissInterstitial(const Impression& i) override { dismiss("dismissInterstitial", i); }
  void dismissMoreApps(const Impression& i) override { dismiss("dismissMoreApps", i); }
  void displayLoadingView() override { loadingView("displayLoadingView", true); }
  void dismissLoadingView() override { loadingView("dismissLoadingView", false); }
  bool loadingViewIsVisible() const override { return loading; }

  Timeline& timeline;
  bool loading = false;
  std::vector<Impression> shown;

 private:
  void show(const char* what, const Impression& i) {
    timeline.push_back(what);
    shown.push_back(i);
  }
  void dismiss(const char* what, const Impression& i) {
    timeline.push_back(what);
    i->setState(cadenzo::CZImpressionStateDismissing);
  }
  void loadingView(const char* what, bool up) {
    timeline.push_back(what);
    loading = up;
  }
};

}  // namespace cztest
