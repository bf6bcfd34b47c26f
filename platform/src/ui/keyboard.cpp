#include "platform/keyboard.h"

#include <cstdio>

#include "platform/notification_center.h"
#include "platform/screen.h"
#include "platform/singleton.h"

namespace platform {

namespace {

struct KeyboardState {
  bool visible = false;
  double height = 0;
};

void post(const char* name, const Rect& begin, const Rect& end) {
  Dictionary info{{kKeyboardFrameBeginUserInfoKey, Value(stringFromRect(begin))},
                  {kKeyboardFrameEndUserInfoKey, Value(stringFromRect(end))},
                  {kKeyboardAnimationDurationUserInfoKey, Value(Keyboard::kAnimationDuration)}};
  NotificationCenter::defaultCenter().postNotificationName(name, nullptr, Value(std::move(info)));
}

}  // namespace

bool Keyboard::isVisible() { return processState<KeyboardState>().read(&KeyboardState::visible); }

void Keyboard::showForTesting(double height) {
  if (isVisible()) return;
  processState<KeyboardState>().write(&KeyboardState::visible, true);
  processState<KeyboardState>().write(&KeyboardState::height, height);
  Rect screen = Screen::mainScreen().bounds();
  double bottom = screen.origin.y + screen.size.height;
  post(kKeyboardWillShowNotification, Rect(screen.origin.x, bottom, screen.size.width, height),
       Rect(screen.origin.x, bottom - height, screen.size.width, height));
}

void Keyboard::hideForTesting() {
  if (!isVisible()) return;
  double height = processState<KeyboardState>().read(&KeyboardState::height);
  processState<KeyboardState>().write(&KeyboardState::visible, false);
  Rect screen = Screen::mainScreen().bounds();
  double bottom = screen.origin.y + screen.size.height;
  post(kKeyboardWillHideNotification, Rect(screen.origin.x, bottom - height, screen.size.width, height),
       Rect(screen.origin.x, bottom, screen.size.width, height));
}

std::optional<Rect> keyboardFrameFromUserInfo(const Value& userInfo, const std::string& key) {
  if (!userInfo.isDictionary()) return std::nullopt;
  const Value* v = userInfo.dictionary().find(key);
  if (!v || !v->isString()) return std::nullopt;
  double x, y, w, h;
  int used = 0;
  const std::string& text = v->string();
  if (std::sscanf(text.c_str(), "{{%lf, %lf}, {%lf, %lf}}%n", &x, &y, &w, &h, &used) != 4 ||
      static_cast<size_t>(used) != text.size()) {
    return std::nullopt;
  }
  return Rect(x, y, w, h);
}

}  // namespace platform
