#pragma once
// What the page bridge asks of the parts that open things and hold the screen: the opener
// (in-app browser, other applications, the mail composer) and the full-screen controller that
// shows a web view. Both are implemented by the full-screen layer.
#include <memory>
#include <optional>

#include "QLNotification.h"
#include "platform/url.h"

namespace quillon {

class QLFullScreenController {
 public:
  virtual ~QLFullScreenController() = default;
  // Whether this controller gives the screen back when a page says "close".
  virtual bool respondsToRelinquishScreen() const { return false; }
  virtual void relinquishScreen() {}
};

class QLOpener {
 public:
  virtual ~QLOpener() = default;
  // The controller of the web view whose navigation is being decided (may be none).
  virtual void setViewController(std::weak_ptr<QLFullScreenController> controller) = 0;
  // A page's "open" message.
  virtual void openNotification(const QLNotification& notification) = 0;
  // A link of a scheme the web view does not load (an application link).
  virtual void openApp(const platform::URL& url) = 0;
  // A "mailto:" link.
  virtual void openMailComposer(const platform::URL& url) = 0;
  // A tap on a shown ad, after the click is counted: the page that was tapped, then the
  // in-app browser, or the web-app page when click trackers are waiting for the click.
  // `orientations`: 1 any, 2 portrait, 3 landscape.
  virtual void setReferringURL(std::optional<platform::URL> url) = 0;
  virtual void openBrowserToURLSupportedOrientations(const platform::URL& url, int orientations) = 0;
  virtual void openWebAppSupportedOrientations(const platform::URL& url, int orientations) = 0;
};

}  // namespace quillon
