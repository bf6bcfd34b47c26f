#pragma once
// The main screen's facts, in points. Defaults: bounds 320 × 480 at the origin, scale 1,
// a status bar of 20 points, so the application frame is {0, 20, 320, 460}.
// Thread safety: every member may be called from any thread. Tests, the demo and the
// interface layer (status bar shown or hidden) set the facts; test reset restores them.
#include <optional>

#include "platform/geometry.h"

namespace platform {

class Screen {
 public:
  static Screen& mainScreen();

  Rect bounds() const;
  void setBounds(const Rect& bounds);
  // Pixels per point: 1 or 2 (the "@2x" resources are chosen when 2).
  double scale() const;
  void setScale(double scale);

  // The bounds less the status bar at the top, unless an explicit frame was set.
  Rect applicationFrame() const;
  // An explicit frame; nullopt returns to the computed one.
  void setApplicationFrame(std::optional<Rect> frame);
  // 0 while the status bar is hidden.
  double statusBarHeight() const;
  void setStatusBarHeight(double points);

  // Restores the defaults (also done on test reset).
  void resetToDefaults();

 private:
  Screen() = default;
};

}  // namespace platform
