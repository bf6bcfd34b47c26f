#pragma once
// The view of a "native" interstitial: the answer's "assets" name pictures — the ad
// ("ad-portrait", "ad-landscape"), a frame drawn around it ("frame-portrait",
// "frame-landscape") and the close button ("close") — each {"url", "checksum", optional
// "scale" (pixels per point, positive) and "offset" {"x", "y"} in points}. The view fetches
// them through CZWebImageCache and, once every fetch has ended, is ready (display callback)
// when it has the close picture and the ad and frame of at least one orientation, else
// failed (fail callback).
//
// Layout follows the facade's orientation (1 and 2 portrait, else landscape): the ad picture
// is a button centred in the bounds (plus its offset); the close button sits at a fixed
// displacement from the centre by device family and orientation (plus its offset); the
// frame picture is drawn centred (plus its offset) below both. A tap on the ad is a click
// with neither URL nor data (the impression uses the answer's "link"); the close button
// closes. Pictures missing for the current orientation give a zero-size button and no
// drawing.
//
// Ownership: make with createWithFrame (the buttons target the shared object weakly).
// Thread safety: main thread only, except the callbacks' accessors (any thread).
#include <memory>

#include "CZViewProtocol.h"
#include "platform/controls.h"
#include "platform/image.h"
#include "platform/passkey.h"
#include "platform/value.h"
#include "platform/view.h"

namespace cadenzo {

class CZNativeInterstitialView : public platform::View, public CZViewCallbacks {
 public:
  static std::shared_ptr<CZNativeInterstitialView> createWithFrame(const platform::Rect& frame);
  CZNativeInterstitialView(platform::Passkey<CZNativeInterstitialView>, const platform::Rect& frame);

  // Starts the picture loads; the readiness check follows on the main thread when all ended.
  void prepareWithResponse(const platform::Dictionary& response) override;

  void layoutSubviews() override;
  void drawRect(const platform::Rect& rect) override;

  void click(platform::Control& sender);
  void close(platform::Control& sender);

  double adScaleLandscape() const { return adScaleLandscape_; }
  double frameScaleLandscape() const { return frameScaleLandscape_; }
  double adScalePortrait() const { return adScalePortrait_; }
  double frameScalePortrait() const { return frameScalePortrait_; }
  double closeScale() const { return closeScale_; }
  const std::shared_ptr<platform::Button>& adUnit() const { return adUnit_; }
  const std::shared_ptr<platform::Button>& closeButton() const { return closeButton_; }
  const std::shared_ptr<platform::Image>& adImagePortrait() const { return adImagePortrait_; }
  const std::shared_ptr<platform::Image>& adImageLandscape() const { return adImageLandscape_; }
  const std::shared_ptr<platform::Image>& closeImage() const { return closeImage_; }
  const std::shared_ptr<platform::Image>& frameImagePortrait() const { return frameImagePortrait_; }
  const std::shared_ptr<platform::Image>& frameImageLandscape() const { return frameImageLandscape_; }
  const platform::Dictionary& assets() const { return assets_; }

 private:
  void checkReadiness();
  platform::Point offsetOf(const char* key) const;

  double adScaleLandscape_ = 1, frameScaleLandscape_ = 1, adScalePortrait_ = 1, frameScalePortrait_ = 1,
         closeScale_ = 1;
  std::shared_ptr<platform::Button> adUnit_;
  std::shared_ptr<platform::Button> closeButton_;
  std::shared_ptr<platform::Image> adImagePortrait_, adImageLandscape_, closeImage_, frameImagePortrait_,
      frameImageLandscape_;
  platform::Dictionary assets_;
};

}  // namespace cadenzo
