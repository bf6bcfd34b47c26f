#include "platform/screen.h"

#include <algorithm>
#include <mutex>

#include "platform/singleton.h"

namespace platform {
namespace {

struct ScreenState {
  std::mutex mutex;
  Rect bounds{0, 0, 320, 480};
  double scale = 1;
  double statusBarHeight = 20;
  std::optional<Rect> applicationFrame;
};

ScreenState& state() {
  static ScreenState* s = [] {
    auto* created = new ScreenState();
    onProcessReset([] { Screen::mainScreen().resetToDefaults(); });
    return created;
  }();
  return *s;
}

}  // namespace

Screen& Screen::mainScreen() {
  static Screen screen;
  return screen;
}

Rect Screen::bounds() const {
  std::lock_guard<std::mutex> lock(state().mutex);
  return state().bounds;
}

void Screen::setBounds(const Rect& bounds) {
  std::lock_guard<std::mutex> lock(state().mutex);
  state().bounds = bounds;
}

double Screen::scale() const {
  std::lock_guard<std::mutex> lock(state().mutex);
  return state().scale;
}

void Screen::setScale(double scale) {
  std::lock_guard<std::mutex> lock(state().mutex);
  state().scale = scale;
}

Rect Screen::applicationFrame() const {
  std::lock_guard<std::mutex> lock(state().mutex);
  const ScreenState& s = state();
  if (s.applicationFrame) return *s.applicationFrame;
  Rect frame = s.bounds;
  double bar = std::min(s.statusBarHeight, frame.size.height);
  frame.origin.y += bar;
  frame.size.height -= bar;
  return frame;
}

void Screen::setApplicationFrame(std::optional<Rect> frame) {
  std::lock_guard<std::mutex> lock(state().mutex);
  state().applicationFrame = frame;
}

double Screen::statusBarHeight() const {
  std::lock_guard<std::mutex> lock(state().mutex);
  return state().statusBarHeight;
}

void Screen::setStatusBarHeight(double points) {
  std::lock_guard<std::mutex> lock(state().mutex);
  state().statusBarHeight = points < 0 ? 0 : points;
}

void Screen::resetToDefaults() {
  std::lock_guard<std::mutex> lock(state().mutex);
  ScreenState& s = state();
  s.bounds = {0, 0, 320, 480};
  s.scale = 1;
  s.statusBarHeight = 20;
  s.applicationFrame.reset();
}

}  // namespace platform
