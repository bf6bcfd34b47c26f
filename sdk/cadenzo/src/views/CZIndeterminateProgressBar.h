#pragma once
// The endlessly moving striped bar of the loading overlay: white rounded outline, white
// slanted stripes inside that move right one point per tick (60 ticks a second on the main
// run loop) and wrap, so the bar never shows a fill level.
//
// The tick timer holds the bar weakly. It runs from creation while the bar is outside any
// window or inside one; it stops when the bar leaves its window (and starts again when the
// bar enters one), and when the bar is destroyed. Main thread only.
#include <memory>

#include "platform/passkey.h"
#include "platform/run_loop.h"
#include "platform/view.h"

namespace cadenzo {

class CZIndeterminateProgressBar : public platform::View {
 public:
  static constexpr double kTickInterval = 0.0166666675;  // 1/60 s as a single-precision value

  static std::shared_ptr<CZIndeterminateProgressBar> createWithFrame(const platform::Rect& frame);
  ~CZIndeterminateProgressBar() override;

  // One tick: the stripes move one point; past the stripe size they wrap back by twice it.
  void step();
  float offset() const { return offset_; }
  bool isAnimating() const { return timer_ && timer_->isValid(); }

  void drawRect(const platform::Rect& rect) override;
  void didMoveToWindow() override;

  CZIndeterminateProgressBar(platform::Passkey<CZIndeterminateProgressBar>, const platform::Rect& frame);

 private:
  void startTimer();
  void stopTimer();

  std::shared_ptr<platform::Timer> timer_;
  float offset_ = 0;
};

}  // namespace cadenzo
