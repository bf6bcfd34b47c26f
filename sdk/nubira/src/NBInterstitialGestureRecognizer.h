#pragma once
// Lights up the button a finger is on: on touch-down the touched button gets a white
// background, which goes again when the touch ends or is cancelled. It never keeps the
// touched view from getting its touches and never stands in another recognizer's way.
// Main thread only. The touched view is not retained.
#include <memory>

#include "platform/gesture_recognizer.h"

namespace platform {
class Image;
}  // namespace platform

namespace nubira {

class NBInterstitialGestureRecognizer : public platform::GestureRecognizer {
 public:
  NBInterstitialGestureRecognizer() { setCancelsTouchesInView(false); }
  NBInterstitialGestureRecognizer(const std::shared_ptr<void>& target, Action action)
      : platform::GestureRecognizer(target, std::move(action)) {
    setCancelsTouchesInView(false);
  }

  // The view the current (or last) touch went down on; nullptr once it has gone.
  std::shared_ptr<platform::View> beganButton() const { return beganButton_.lock(); }
  void setBeganButton(const std::shared_ptr<platform::View>& view) { beganButton_ = view; }

  void touchesBeganWithEvent(const platform::TouchSet& touches, const platform::Event& event) override;
  void touchesEndedWithEvent(const platform::TouchSet& touches, const platform::Event& event) override;
  void touchesCancelledWithEvent(const platform::TouchSet& touches, const platform::Event& event) override;
  bool canPreventGestureRecognizer(const platform::GestureRecognizer&) const override { return false; }
  bool canBePreventedByGestureRecognizer(const platform::GestureRecognizer&) const override { return false; }

  // Takes the white background off the touched button again.
  void resetImage();

  // A white 25 x 25 square outline, 4 points wide, drawn into a context of its own.
  static std::shared_ptr<platform::Image> createCloseImage();

 private:
  std::weak_ptr<platform::View> beganButton_;
};

}  // namespace nubira
