#include "NBInterstitialGestureRecognizer.h"

#include "platform/controls.h"
#include "platform/graphics.h"
#include "platform/image.h"

namespace nubira {

// resources/white.png, built into the library.
extern const unsigned char kWhitePng[];
extern const unsigned long kWhitePngSize;

namespace {

constexpr double kCloseImageSide = 25;

std::shared_ptr<platform::Image> whiteImage() {
  static const std::shared_ptr<platform::Image> image =
      platform::Image::imageWithData(platform::Bytes(kWhitePng, kWhitePng + kWhitePngSize));
  return image;
}

void setBackground(const std::shared_ptr<platform::View>& view, std::shared_ptr<platform::Image> image) {
  if (auto button = std::dynamic_pointer_cast<platform::Button>(view))
    button->setBackgroundImageForState(std::move(image), platform::kControlStateNormal);
}

}  // namespace

void NBInterstitialGestureRecognizer::touchesBeganWithEvent(const platform::TouchSet& touches,
                                                            const platform::Event&) {
  if (touches.empty()) return;
  setBeganButton(touches.front()->view.lock());
  setBackground(beganButton(), whiteImage());
}

void NBInterstitialGestureRecognizer::touchesEndedWithEvent(const platform::TouchSet&, const platform::Event&) {
  resetImage();
}

void NBInterstitialGestureRecognizer::touchesCancelledWithEvent(const platform::TouchSet&, const platform::Event&) {
  resetImage();
}

void NBInterstitialGestureRecognizer::resetImage() { setBackground(beganButton(), nullptr); }

std::shared_ptr<platform::Image> NBInterstitialGestureRecognizer::createCloseImage() {
  auto context = std::make_shared<platform::GraphicsContext>(platform::Size{kCloseImageSide, kCloseImageSide});
  platform::GraphicsContext::pushContext(context.get());
  context->setStrokeColor(platform::Color::whiteColor());
  context->setLineWidth(4.0);
  context->strokeRect(platform::Rect(0, 0, kCloseImageSide, kCloseImageSide));
  platform::GraphicsContext::popContext();
  return platform::Image::imageWithDrawing(context);
}

}  // namespace nubira
