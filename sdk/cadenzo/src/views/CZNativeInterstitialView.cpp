#include "CZNativeInterstitialView.h"

#include "CZInterfaceOrientation.h"
#include "CZWebImageCache.h"
#include "platform/device.h"
#include "platform/dispatch.h"
#include "platform/graphics.h"

namespace cadenzo {

using platform::Image;
using platform::Passkey;
using platform::Point;
using platform::Rect;
using platform::Size;
using platform::Value;

namespace {

Size pointSize(const std::shared_ptr<Image>& image, double scale) {
  if (!image) return {};
  return {image->pixelWidth() / scale, image->pixelHeight() / scale};
}

}  // namespace

std::shared_ptr<CZNativeInterstitialView> CZNativeInterstitialView::createWithFrame(const Rect& frame) {
  auto view = std::make_shared<CZNativeInterstitialView>(Passkey<CZNativeInterstitialView>{}, frame);
  view->adUnit_->addTarget(view, &CZNativeInterstitialView::click, platform::kControlEventTouchUpInside);
  view->closeButton_->addTarget(view, &CZNativeInterstitialView::close, platform::kControlEventTouchUpInside);
  return view;
}

CZNativeInterstitialView::CZNativeInterstitialView(Passkey<CZNativeInterstitialView>, const Rect& frame)
    : platform::View(frame),
      adUnit_(platform::Button::buttonWithType(platform::ButtonType::Custom)),
      closeButton_(platform::Button::buttonWithType(platform::ButtonType::Custom)) {
  setOpaque(false);
  setBackgroundColor(platform::Color::clearColor());
  setClearsContextBeforeDrawing(true);
  addSubview(adUnit_);
  addSubview(closeButton_);
}

void CZNativeInterstitialView::prepareWithResponse(const platform::Dictionary& response) {
  const Value& assets = response.get("assets");
  assets_ = assets.isDictionary() ? assets.dictionary() : platform::Dictionary();
  platform::DispatchGroup group;
  std::weak_ptr<CZNativeInterstitialView> weak = sharedAs<CZNativeInterstitialView>();

  struct Slot {
    const char* key;
    std::shared_ptr<Image> CZNativeInterstitialView::*image;
    double CZNativeInterstitialView::*scale;
  };
  static const Slot slots[] = {
      {"ad-landscape", &CZNativeInterstitialView::adImageLandscape_, &CZNativeInterstitialView::adScaleLandscape_},
      {"ad-portrait", &CZNativeInterstitialView::adImagePortrait_, &CZNativeInterstitialView::adScalePortrait_},
      {"frame-landscape", &CZNativeInterstitialView::frameImageLandscape_,
       &CZNativeInterstitialView::frameScaleLandscape_},
      {"frame-portrait", &CZNativeInterstitialView::frameImagePortrait_,
       &CZNativeInterstitialView::frameScalePortrait_},
      {"close", &CZNativeInterstitialView::closeImage_, &CZNativeInterstitialView::closeScale_},
  };
  for (const auto& slot : slots) {
    const Value& entry = assets_.get(slot.key);
    if (!entry.isDictionary() || !entry.dictionary().contains("url") || !entry.dictionary().contains("checksum"))
      continue;
    auto store = [weak, image = slot.image](const std::shared_ptr<Image>& loaded) {
      if (auto self = weak.lock()) (*self).*image = loaded;
    };
    CZWebImageCache::sharedCache().loadImageWithURLChecksumCallbackGroup(entry["url"], entry["checksum"], store, group);
    // Pictures are divided by their scale: only a positive one makes sense.
    const Value& scale = entry["scale"];
    if (scale.isNumber() && scale.doubleValue() > 0) this->*slot.scale = scale.doubleValue();
  }
  // The readiness check waits for every load; each download has a deadline of its own, so
  // a picture server that never finishes fails the view rather than holding it for ever.
  group.notify(platform::DispatchQueue::main(), [weak] {
    if (auto self = weak.lock()) self->checkReadiness();
  });
}

void CZNativeInterstitialView::checkReadiness() {
  auto self = sharedAs<CZNativeInterstitialView>();
  const bool landscape = adImageLandscape_ && frameImageLandscape_;
  const bool portrait = adImagePortrait_ && frameImagePortrait_;
  if (closeImage_ && (landscape || portrait)) {
    setNeedsDisplay();
    setNeedsLayout();
    if (auto callback = displayCallback()) callback();
  } else if (auto callback = failCallback()) {
    callback();
  }
}

Point CZNativeInterstitialView::offsetOf(const char* key) const {
  const Value& offset = assets_.get(key)["offset"];
  const Value& x = offset["x"];
  const Value& y = offset["y"];
  return {x.isNumber() ? x.doubleValue() : 0, y.isNumber() ? y.doubleValue() : 0};
}

void CZNativeInterstitialView::layoutSubviews() {
  const bool portrait = CZOrientationIsPortrait(CZInterfaceOrientation());
  const Rect b = bounds();
  const Point centre{platform::rectGetMidX(b), platform::rectGetMidY(b)};

  const auto& adImage = portrait ? adImagePortrait_ : adImageLandscape_;
  const Size adSize = pointSize(adImage, portrait ? adScalePortrait_ : adScaleLandscape_);
  const Point adOffset = offsetOf(portrait ? "ad-portrait" : "ad-landscape");
  adUnit_->setFrame(Rect(centre.x - adSize.width / 2 + adOffset.x, centre.y - adSize.height / 2 + adOffset.y,
                         adSize.width, adSize.height));
  adUnit_->setImageForState(adImage, platform::kControlStateNormal);

  const bool pad = platform::Device::currentDevice().userInterfaceIdiom() == platform::UserInterfaceIdiom::Pad;
  double dx, dy;
  if (pad) {
    dx = portrait ? 280 : 375;
    dy = portrait ? -375 : -280;
  } else {
    dx = portrait ? 120 : 195;
    dy = portrait ? -175 : -100;
  }
  const Size closeSize = pointSize(closeImage_, closeScale_);
  const Point closeOffset = offsetOf("close");
  closeButton_->setFrame(Rect(centre.x + dx + 5 - closeSize.width / 2 + closeOffset.x,
                              centre.y + dy - 5 - closeSize.height / 2 + closeOffset.y, closeSize.width,
                              closeSize.height));
  closeButton_->setImageForState(closeImage_, platform::kControlStateNormal);
}

void CZNativeInterstitialView::drawRect(const Rect& rect) {
  (void)rect;
  auto* context = platform::GraphicsContext::current();
  const bool portrait = CZOrientationIsPortrait(CZInterfaceOrientation());
  const auto& frameImage = portrait ? frameImagePortrait_ : frameImageLandscape_;
  if (!context || !frameImage) return;
  const Size size = pointSize(frameImage, portrait ? frameScalePortrait_ : frameScaleLandscape_);
  const Point offset = offsetOf(portrait ? "frame-portrait" : "frame-landscape");
  const Rect b = bounds();
  context->drawImage(frameImage, Rect(platform::rectGetMidX(b) - size.width / 2 + offset.x,
                                      platform::rectGetMidY(b) - size.height / 2 + offset.y, size.width, size.height));
}

void CZNativeInterstitialView::click(platform::Control& sender) {
  (void)sender;
  auto self = sharedAs<CZNativeInterstitialView>();
  if (auto callback = clickCallback()) callback(std::nullopt, std::nullopt);
}

void CZNativeInterstitialView::close(platform::Control& sender) {
  (void)sender;
  auto self = sharedAs<CZNativeInterstitialView>();
  if (auto callback = closeCallback()) callback();
}

}  // namespace cadenzo
