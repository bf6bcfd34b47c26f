#include "platform/screen.h"

#include <algorithm>

#include "platform/singleton.h"

namespace platform {
namespace {

struct ScreenFacts {
  Rect bounds{0, 0, 320, 480};
  double scale = 1;
  double statusBarHeight = 20;
  std::optional<Rect> applicationFrame;
};

ProcessState<ScreenFacts>& facts() {
  return processState<ScreenFacts>();
}

}  // namespace

Screen& Screen::mainScreen() {
  static Screen screen;
  return screen;
}

Rect Screen::bounds() const { return facts().read(&ScreenFacts::bounds); }
void Screen::setBounds(const Rect& bounds) { facts().write(&ScreenFacts::bounds, bounds); }
double Screen::scale() const { return facts().read(&ScreenFacts::scale); }
void Screen::setScale(double scale) { facts().write(&ScreenFacts::scale, scale); }

Rect Screen::applicationFrame() const {
  return facts().with([](const ScreenFacts& s) {
    if (s.applicationFrame) return *s.applicationFrame;
    Rect frame = s.bounds;
    double bar = std::min(s.statusBarHeight, frame.size.height);
    frame.origin.y += bar;
    frame.size.height -= bar;
    return frame;
  });
}

void Screen::setApplicationFrame(std::optional<Rect> frame) {
  facts().write(&ScreenFacts::applicationFrame, frame);
}

double Screen::statusBarHeight() const { return facts().read(&ScreenFacts::statusBarHeight); }
void Screen::setStatusBarHeight(double points) {
  facts().write(&ScreenFacts::statusBarHeight, points < 0 ? 0 : points);
}

void Screen::resetToDefaults() { facts().reset(); }

}  // namespace platform
