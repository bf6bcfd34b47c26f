#pragma once
// Stand-ins for the view layer, so the facade's own rules can be driven one callback at a
// time (the same flows run with the real views and pages in tests/views): an ad view that
// records its preparation and lets a test fire its callbacks, a factory for it, and a
// presentation controller that records what it was asked (and, like the real one, keeps
// the impressions it shows). Plus a facade delegate that writes every question and notice
// to the same timeline.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CZImpression.h"
#include "CZPresentationController.h"
#include "cadenzo/CZViewProtocol.h"
#include "cadenzo/Cadenzo.h"

namespace cztest {

using Timeline = std::vector<std::string>;

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
  explicit RecordingPresenter(Timeline& t) : timeline(t) {}
  void displayInterstitial(const std::shared_ptr<cadenzo::CZImpression>& i) override {
    timeline.push_back("displayInterstitial");
    shown.push_back(i);
  }
  void displayMoreApps(const std::shared_ptr<cadenzo::CZImpression>& i) override {
    timeline.push_back("displayMoreApps");
    shown.push_back(i);
  }
  void dismissInterstitial(const std::shared_ptr<cadenzo::CZImpression>& i) override {
    timeline.push_back("dismissInterstitial");
    i->setState(cadenzo::CZImpressionStateDismissing);
  }
  void dismissMoreApps(const std::shared_ptr<cadenzo::CZImpression>& i) override {
    timeline.push_back("dismissMoreApps");
    i->setState(cadenzo::CZImpressionStateDismissing);
  }
  void displayLoadingView() override {
    timeline.push_back("displayLoadingView");
    loading = true;
  }
  void dismissLoadingView() override {
    timeline.push_back("dismissLoadingView");
    loading = false;
  }
  bool loadingViewIsVisible() const override { return loading; }

  Timeline& timeline;
  bool loading = false;
  std::vector<std::shared_ptr<cadenzo::CZImpression>> shown;
};

// Answers the questions listed in `answers` (by method name); every other question is
// "not implemented".
class RecordingCadenzoDelegate : public cadenzo::CadenzoDelegate {
 public:
  explicit RecordingCadenzoDelegate(Timeline& t) : timeline(t) {}
  std::optional<bool> ask(const std::string& name, const std::string& arg = "") {
    auto it = answers.find(name);
    if (it == answers.end()) return std::nullopt;
    timeline.push_back(name + (arg.empty() ? "" : ":" + arg));
    return it->second;
  }
  void note(const std::string& name, const std::string& arg = "") {
    timeline.push_back(name + (arg.empty() ? "" : ":" + arg));
  }
  std::optional<bool> shouldRequestInterstitial(const std::string& l) override { return ask("shouldRequestInterstitial", l); }
  std::optional<bool> shouldRequestInterstitialsInFirstSession() override {
    return ask("shouldRequestInterstitialsInFirstSession");
  }
  std::optional<bool> shouldDisplayInterstitial(const std::string& l) override { return ask("shouldDisplayInterstitial", l); }
  std::optional<bool> shouldDisplayMoreApps() override { return ask("shouldDisplayMoreApps"); }
  std::optional<bool> shouldDisplayLoadingViewForMoreApps() override {
    return ask("shouldDisplayLoadingViewForMoreApps");
  }
  void didCacheInterstitial(const std::string& l) override { note("didCacheInterstitial", l); }
  void didCacheMoreApps() override { note("didCacheMoreApps"); }
  void didFailToLoadInterstitial(const std::string& l) override { note("didFailToLoadInterstitial", l); }
  void didFailToLoadMoreApps() override { note("didFailToLoadMoreApps"); }
  void didDismissInterstitial(const std::string& l) override { note("didDismissInterstitial", l); }
  void didCloseInterstitial(const std::string& l) override { note("didCloseInterstitial", l); }
  void didClickInterstitial(const std::string& l) override { note("didClickInterstitial", l); }
  void didDismissMoreApps() override { note("didDismissMoreApps"); }
  void didCloseMoreApps() override { note("didCloseMoreApps"); }
  void didClickMoreApps() override { note("didClickMoreApps"); }

  Timeline& timeline;
  std::map<std::string, bool> answers;
};

}  // namespace cztest
