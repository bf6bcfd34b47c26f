#pragma once
// Which optional platform classes, methods and symbols exist. The clients ask before using
// an optional feature ("does this class exist", "does this object respond to …"); tests set
// each answer both ways. Every key is present unless set otherwise; test reset restores that.
// Keys:
//   a class name                 "SKStoreProductViewController", "ASIdentifierManager"
//   "<Class>.<selector>"         "UIWebView.setAllowsInlineMediaPlayback:", with the
//                                selector written with its colons
//   a symbol (a constant)        "SKStoreProductParameterITunesItemIdentifier"
// Thread safety: every function may be called from any thread.
#include <string>

namespace platform {

class Runtime {
 public:
  static bool isAvailable(const std::string& key);
  static void setAvailable(const std::string& key, bool available);

  static bool classExists(const std::string& className) { return isAvailable(className); }
  // True when the class exists and answers the selector.
  static bool respondsToSelector(const std::string& className, const std::string& selector) {
    return isAvailable(className) && isAvailable(className + "." + selector);
  }

  static void resetToDefaults();
};

}  // namespace platform
