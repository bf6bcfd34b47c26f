#include "CZNativeMoreAppsTableViewCell.h"

#include "CZCommandURL.h"
#include "CZInterfaceOrientation.h"
#include "platform/application.h"
#include "platform/bundle.h"
#include "platform/graphics.h"
#include "platform/url.h"

namespace cadenzo {

using platform::Color;
using platform::Rect;
using platform::TableViewCellStyle;
using platform::Value;

namespace {

constexpr int kSelectionStyleNone = 0;

// Makes `wrapper` the target of `control`'s tap and points it at the cell's click.
template <class Cell>
std::shared_ptr<Cell> wired(std::shared_ptr<Cell> cell, const std::shared_ptr<CZActionWrapper>& wrapper,
                            platform::Control& control) {
  std::weak_ptr<Cell> weak = cell;
  wrapper->setCallback([weak](platform::Control&) {
    if (auto self = weak.lock()) self->click();
  });
  control.addTarget(wrapper, &CZActionWrapper::action, platform::kControlEventTouchUpInside);
  return cell;
}

}  // namespace

// ---- Shared row ---------------------------------------------------------------------

CZNativeMoreAppsTableViewCell::CZNativeMoreAppsTableViewCell(TableViewCellStyle style, std::string reuseIdentifier)
    : platform::TableViewCell(style, std::move(reuseIdentifier)) {
  setSelectionStyle(kSelectionStyleNone);
}

void CZNativeMoreAppsTableViewCell::click() {
  auto self = sharedView();
  if (auto callback = clickCallback_) callback();
}

void CZNativeMoreAppsTableViewCell::drawRect(const Rect& rect) {
  (void)rect;
  auto* context = platform::GraphicsContext::current();
  if (!context) return;
  const Rect b = bounds();
  const double x = b.origin.x, y = b.origin.y, w = b.size.width, h = b.size.height;
  context->saveGState();
  context->drawLinearGradient(
      platform::Gradient{{Color::white(0.9140625, 1), Color::white(0.86328125, 1)}, {0, 1}}, {0, 0}, {0, h}, 0);
  context->restoreGState();
  context->setFillColor(Color::white(0.95703125, 1));
  context->fillRect(Rect(x, y, w, 1));
  context->setFillColor(Color::white(0.80078125, 1));
  context->fillRect(Rect(x, y + h - 1, w, 1));
}

// ---- Featured ---------------------------------------------------------------------

std::shared_ptr<CZNativeMoreAppsFeaturedCell> CZNativeMoreAppsFeaturedCell::createWithStyleReuseIdentifier(
    TableViewCellStyle style, std::string reuseIdentifier) {
  auto cell = std::make_shared<CZNativeMoreAppsFeaturedCell>(style, std::move(reuseIdentifier));
  return wired(cell, cell->clickWrapper_, *cell->containerButton_);
}

CZNativeMoreAppsFeaturedCell::CZNativeMoreAppsFeaturedCell(TableViewCellStyle style, std::string reuseIdentifier)
    : CZNativeMoreAppsTableViewCell(style, std::move(reuseIdentifier)),
      clickWrapper_(CZActionWrapper::actionWrapperWithCallback(nullptr)),
      containerButton_(std::make_shared<platform::Button>(platform::ButtonType::Custom, bounds())),
      imageView_(std::make_shared<CZNativeMoreAppsRoundedImageView>(containerButton_->bounds())) {
  containerButton_->addSubview(imageView_);
  contentView()->addSubview(containerButton_);
}

void CZNativeMoreAppsFeaturedCell::prepareWithCellMeta(const CZNativeMoreAppsCellMeta& meta) {
  imageView_->setImage(meta.image(CZOrientationIsPortrait(CZInterfaceOrientation()) ? "portrait" : "landscape"));
  setNeedsLayout();
}

void CZNativeMoreAppsFeaturedCell::layoutSubviews() {
  CZNativeMoreAppsTableViewCell::layoutSubviews();
  const Rect b = bounds();
  containerButton_->setFrame(Rect(b.origin.x + 5, b.origin.y + 5, b.size.width - 10, 110 - 10));
  imageView_->setFrame(containerButton_->bounds());
  imageView_->redrawImage();
}

// ---- Regular ----------------------------------------------------------------------

std::shared_ptr<CZNativeMoreAppsRegularCell> CZNativeMoreAppsRegularCell::createWithStyleReuseIdentifier(
    TableViewCellStyle style, std::string reuseIdentifier) {
  auto cell = std::make_shared<CZNativeMoreAppsRegularCell>(style, std::move(reuseIdentifier));
  return wired(cell, cell->clickWrapper_, *cell->clickButton_);
}

CZNativeMoreAppsRegularCell::CZNativeMoreAppsRegularCell(TableViewCellStyle style, std::string reuseIdentifier)
    : CZNativeMoreAppsTableViewCell(style, std::move(reuseIdentifier)),
      iconView_(std::make_shared<CZNativeMoreAppsRoundedImageView>(Rect(10, 10, 50, 50))),
      nameLabel_(std::make_shared<platform::Label>()),
      clickButton_(std::make_shared<CZNativeMoreAppsStyledButton>()),
      clickWrapper_(CZActionWrapper::actionWrapperWithCallback(nullptr)) {
  nameLabel_->setFont(platform::Font::boldSystemFontOfSize(16));
  nameLabel_->setShadowColor(Color::whiteColor());
  nameLabel_->setShadowOffset({1, 1});
  nameLabel_->setBackgroundColor(Color::clearColor());
  nameLabel_->setAdjustsFontSizeToFitWidth(false);
  nameLabel_->setOpaque(false);
  contentView()->addSubview(iconView_);
  contentView()->addSubview(nameLabel_);
  contentView()->addSubview(clickButton_);
}

void CZNativeMoreAppsRegularCell::prepareWithCellMeta(const CZNativeMoreAppsCellMeta& meta) {
  const platform::Dictionary& entry = meta.entry;
  nameLabel_->setText(entry.get("name").stringValue());
  const Value& deepText = entry.get("deep-text");
  const Value& deepLink = entry.get("deep-link");
  const bool deep = entry.contains("deep-text") && deepLink.isString() &&
                    platform::Application::sharedApplication().canOpenURL(deepLink.string());
  clickButton_->setTitleForState((deep ? deepText : entry.get("text")).stringValue(), platform::kControlStateNormal);
  iconView_->setImage(meta.image("icon"));
  setNeedsLayout();
}

void CZNativeMoreAppsRegularCell::layoutSubviews() {
  CZNativeMoreAppsTableViewCell::layoutSubviews();
  const double w = bounds().size.width;
  const std::string title = clickButton_->titleForState(platform::kControlStateNormal).value_or("");
  const double buttonWidth = platform::sizeWithFont(title, clickButton_->titleLabel()->font()).width + 20;
  clickButton_->setFrame(Rect(w - buttonWidth - 10, 22, buttonWidth, 26));
  nameLabel_->setFrame(Rect(80, 25, w - 80 - buttonWidth - 30, 20));
}

// ---- Web page ---------------------------------------------------------------------

std::shared_ptr<CZNativeMoreAppsWebViewCell> CZNativeMoreAppsWebViewCell::createWithStyleReuseIdentifier(
    TableViewCellStyle style, std::string reuseIdentifier) {
  auto cell = std::make_shared<CZNativeMoreAppsWebViewCell>(style, std::move(reuseIdentifier));
  cell->webView_->setDelegate(cell);
  return cell;
}

CZNativeMoreAppsWebViewCell::CZNativeMoreAppsWebViewCell(TableViewCellStyle style, std::string reuseIdentifier)
    : CZNativeMoreAppsTableViewCell(style, std::move(reuseIdentifier)),
      webView_(platform::WebView::create(bounds())) {
  webView_->setOpaque(false);
  webView_->setBackgroundColor(Color::clearColor());
  contentView()->addSubview(webView_);
}

void CZNativeMoreAppsWebViewCell::prepareWithCellMeta(const CZNativeMoreAppsCellMeta& meta) {
  // A row without a page shows an empty one: a reused cell must not keep the page (and the
  // taps) of the row it showed before.
  const Value& html = meta.entry.get("html");
  const platform::URL base = platform::URL::fileURLWithPath(platform::Bundle::mainBundle().bundlePath(), true);
  guard_.pageWillLoad(base);
  webView_->loadHTMLStringBaseURL(html.isString() ? html.string() : std::string(), base);
}

std::optional<bool> CZNativeMoreAppsWebViewCell::webViewShouldStartLoadWithRequestNavigationType(
    const std::shared_ptr<platform::WebView>& webView, const platform::URLRequest& request,
    platform::WebViewNavigationType navigationType) {
  (void)webView;
  (void)navigationType;
  const std::string& url = request.url();
  if (!guard_.admits(*webView_, url)) return false;
  if (url.empty()) return false;
  if (CZSchemeOf(url) != kCZCommandScheme) return true;
  const auto pieces = CZSplitAtSlashes(url);
  if (pieces.size() >= 3 && pieces[2] == "click") {
    // A row that was only shown has not been tapped: its page's own "click" counts nothing.
    if (guard_.allowsUserAct(*webView_, "click")) click();
  }
  return true;
}

}  // namespace cadenzo
