#pragma once
// The rows of the native more-apps list, one class per row "type":
//   "featured"  CZNativeMoreAppsFeaturedCell  110 points: one rounded banner picture
//               ("portrait" or "landscape" asset by orientation) that is itself the button;
//   "regular"   CZNativeMoreAppsRegularCell    70 points: an icon ("icon" asset), the app's
//               "name" and a call-to-action button titled "text", or "deep-text" when the
//               row's "deep-link" can be opened;
//   "webview"   CZNativeMoreAppsWebViewCell   100 points: the row's "html" page, whose
//               "cadenzo://click" navigation is the tap (only from that page itself: see
//               CZPageGuard).
// A tap calls the cell's click callback (set by the list for each row). Every row draws the
// same light gradient background with a light top line and a dark bottom line.
//
// A row is prepared from a CZNativeMoreAppsCellMeta: the answer's row entry and the
// pictures loaded for its assets, by asset name.
// Ownership: make cells with their create… functions (their controls target them weakly).
// Main thread only.
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "CZActionWrapper.h"
#include "CZNativeMoreAppsRoundedImageView.h"
#include "CZNativeMoreAppsStyledButton.h"
#include "CZPageGuard.h"
#include "platform/image.h"
#include "platform/scroll_view.h"
#include "platform/value.h"
#include "platform/web_view.h"

namespace cadenzo {

struct CZNativeMoreAppsCellMeta {
  platform::Dictionary entry;
  // Pictures that arrived, by asset name ("portrait", "landscape", "icon", …).
  std::map<std::string, std::shared_ptr<platform::Image>> images;

  std::shared_ptr<platform::Image> image(const std::string& asset) const {
    auto it = images.find(asset);
    return it == images.end() ? nullptr : it->second;
  }
};

class CZNativeMoreAppsTableViewCellProtocol {
 public:
  using ClickCallback = std::function<void()>;
  virtual ~CZNativeMoreAppsTableViewCellProtocol() = default;
  virtual void prepareWithCellMeta(const CZNativeMoreAppsCellMeta& meta) = 0;
  virtual ClickCallback clickCallback() const = 0;
  virtual void setClickCallback(ClickCallback callback) = 0;
};

// What the three rows share: the click callback and the row background.
class CZNativeMoreAppsTableViewCell : public platform::TableViewCell, public CZNativeMoreAppsTableViewCellProtocol {
 public:
  CZNativeMoreAppsTableViewCell(platform::TableViewCellStyle style, std::string reuseIdentifier);

  ClickCallback clickCallback() const override { return clickCallback_; }
  void setClickCallback(ClickCallback callback) override { clickCallback_ = std::move(callback); }
  void drawRect(const platform::Rect& rect) override;
  // The tap: calls the click callback (when set), keeping the cell alive through it.
  void click();

 private:
  ClickCallback clickCallback_;
};

class CZNativeMoreAppsFeaturedCell : public CZNativeMoreAppsTableViewCell {
 public:
  static constexpr const char* kReuseIdentifier = "CZNativeMoreAppsFeaturedCellReuseIdentifier";
  static double height() { return 110; }
  static std::shared_ptr<CZNativeMoreAppsFeaturedCell> createWithStyleReuseIdentifier(
      platform::TableViewCellStyle style, std::string reuseIdentifier);
  CZNativeMoreAppsFeaturedCell(platform::TableViewCellStyle style, std::string reuseIdentifier);

  void prepareWithCellMeta(const CZNativeMoreAppsCellMeta& meta) override;
  void layoutSubviews() override;

  const std::shared_ptr<platform::Button>& containerButton() const { return containerButton_; }
  const std::shared_ptr<CZNativeMoreAppsRoundedImageView>& imageView() const { return imageView_; }

 private:
  std::shared_ptr<CZActionWrapper> clickWrapper_;
  std::shared_ptr<platform::Button> containerButton_;
  std::shared_ptr<CZNativeMoreAppsRoundedImageView> imageView_;
};

class CZNativeMoreAppsRegularCell : public CZNativeMoreAppsTableViewCell {
 public:
  static constexpr const char* kReuseIdentifier = "CZNativeMoreAppsRegularCellReuseIdentifier";
  static double height() { return 70; }
  static std::shared_ptr<CZNativeMoreAppsRegularCell> createWithStyleReuseIdentifier(
      platform::TableViewCellStyle style, std::string reuseIdentifier);
  CZNativeMoreAppsRegularCell(platform::TableViewCellStyle style, std::string reuseIdentifier);

  void prepareWithCellMeta(const CZNativeMoreAppsCellMeta& meta) override;
  void layoutSubviews() override;

  const std::shared_ptr<CZNativeMoreAppsRoundedImageView>& iconView() const { return iconView_; }
  const std::shared_ptr<platform::Label>& nameLabel() const { return nameLabel_; }
  const std::shared_ptr<CZNativeMoreAppsStyledButton>& clickButton() const { return clickButton_; }

 private:
  std::shared_ptr<CZNativeMoreAppsRoundedImageView> iconView_;
  std::shared_ptr<platform::Label> nameLabel_;
  std::shared_ptr<CZNativeMoreAppsStyledButton> clickButton_;
  std::shared_ptr<CZActionWrapper> clickWrapper_;
};

class CZNativeMoreAppsWebViewCell : public CZNativeMoreAppsTableViewCell, public platform::WebViewDelegate {
 public:
  static constexpr const char* kReuseIdentifier = "CZNativeMoreAppsWebViewCellReuseIdentifier";
  static double height() { return 100; }
  static std::shared_ptr<CZNativeMoreAppsWebViewCell> createWithStyleReuseIdentifier(
      platform::TableViewCellStyle style, std::string reuseIdentifier);
  CZNativeMoreAppsWebViewCell(platform::TableViewCellStyle style, std::string reuseIdentifier);

  // Loads the row's "html" with the application bundle's folder as base URL.
  void prepareWithCellMeta(const CZNativeMoreAppsCellMeta& meta) override;

  // A navigation without a URL is refused; everything else is allowed. A "cadenzo" URL
  // whose host is "click" is the tap (the web view then fails to load it, harmlessly), when
  // the user touched the shown row just before; without that touch it counts nothing.
  std::optional<bool> webViewShouldStartLoadWithRequestNavigationType(
      const std::shared_ptr<platform::WebView>& webView, const platform::URLRequest& request,
      platform::WebViewNavigationType navigationType) override;

  const std::shared_ptr<platform::WebView>& webView() const { return webView_; }

 private:
  std::shared_ptr<platform::WebView> webView_;
  CZPageGuard guard_{"CZNativeMoreAppsWebViewCell"};
};

}  // namespace cadenzo
