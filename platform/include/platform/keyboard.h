#pragma once
// The on-screen keyboard, as far as the clients watch it: notifications when it is about to
// appear or go, with its frames. There is no keyboard here; tests and the demo raise and lower
// it with the hooks below.
//
// Each notification is posted on the default centre from the calling thread (the main thread),
// with no sender, and a userInfo dictionary holding the frame the keyboard starts from and the
// one it ends at, in screen coordinates, as stringFromRect text (read them back with
// keyboardFrameFromUserInfo), and the duration of its animation in seconds. It rises from
// below the main screen to sit on its bottom edge, and sinks back the same way.
//
// Thread safety: main thread only. Test reset lowers it without a notification.
#include <optional>
#include <string>

#include "platform/geometry.h"
#include "platform/value.h"

namespace platform {

inline constexpr const char* kKeyboardWillShowNotification = "UIKeyboardWillShowNotification";
inline constexpr const char* kKeyboardWillHideNotification = "UIKeyboardWillHideNotification";
inline constexpr const char* kKeyboardFrameBeginUserInfoKey = "UIKeyboardFrameBeginUserInfoKey";
inline constexpr const char* kKeyboardFrameEndUserInfoKey = "UIKeyboardFrameEndUserInfoKey";
inline constexpr const char* kKeyboardAnimationDurationUserInfoKey = "UIKeyboardAnimationDurationUserInfoKey";

class Keyboard {
 public:
  static constexpr double kAnimationDuration = 0.25;
  static constexpr double kDefaultHeight = 216;

  static bool isVisible();
  // Posts kKeyboardWillShowNotification and raises the keyboard; nothing when it is up.
  static void showForTesting(double height = kDefaultHeight);
  // Posts kKeyboardWillHideNotification and lowers it; nothing when it is down.
  static void hideForTesting();
};

// The frame under `key` of a keyboard notification's userInfo; nullopt when absent or not a frame.
std::optional<Rect> keyboardFrameFromUserInfo(const Value& userInfo, const std::string& key);

}  // namespace platform
