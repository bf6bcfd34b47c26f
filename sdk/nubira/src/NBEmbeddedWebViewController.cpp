#include "NBEmbeddedWebViewController.h"

#include "NBSDKUtil.h"
#include "NBURLRouting.h"
#include "platform/alert.h"
#include "platform/application.h"
#include "platform/bars.h"
#include "platform/graphics.h"
#include "platform/image.h"
#include "platform/navigation_controller.h"
#include "platform/run_loop.h"
#include "platform/screen.h"
#include "platform/web_view.h"

namespace nubira {

bool NBEmbeddedWebViewController::isAppStoreURL(const std::string& url) {
  // The store's own application links name its host under a scheme of their own; a file or
  // script URL naming it is no store link.
  if (!NBURLRouting::opensInBrowser(url)) return false;
  for (const char* host : {kStoreWebHost, kStoreMediaHost})
    if (url.find(std::string("://") + host + "/") != std::string::npos) return true;
  return false;
}

class NBEmbeddedWebViewController::Listener : public platform::WebViewDelegate, public platform::ActionSheetDelegate {
 public:
  explicit Listener(std::weak_ptr<NBEmbeddedWebViewController> owner) : owner_(std::move(owner)) {}
  std::optional<bool> webViewShouldStartLoadWithRequestNavigationType(const std::shared_ptr<platform::WebView>&,
                                                                      const platform::URLRequest& request,
                                                                      platform::WebViewNavigationType) override {
    const std::string& url = request.url();
    NBSDKUtil::util()->logAbove(1, "request url=%@", url);
    if (isAppStoreURL(url)) {
      NBSDKUtil::util()->logAbove(-1, "Treating URL %@ as call to app store", url);
      platform::Application::sharedApplication().openURL(url);
      return false;
    }
    // Whatever else a landing page leads to stays in the browser, another application's
    // scheme included; only the disk is out of its reach.
    if (!NBURLRouting::isLocalFile(url)) return true;
    NBSDKUtil::util()->logAbove(1, "not loading a local file: %@", url);
    return false;
  }
  void actionSheetClickedButtonAtIndex(platform::ActionSheet& sheet, long index) override {
    auto o = owner_.lock();
    if (!o || index == sheet.cancelButtonIndex()) return;
    const std::string url = o->webview_->request() ? o->webview_->request()->url() : std::string();
    if (!url.empty()) platform::Application::sharedApplication().openURL(url);
  }
  void webViewDidFinishLoad(const std::shared_ptr<platform::WebView>&) override {
    if (auto o = owner_.lock()) o->checkButtonAction();
  }

 private:
  std::weak_ptr<NBEmbeddedWebViewController> owner_;
};

namespace {

// The browser's own view: it says when it leaves the window, which is the only word the
// browser hears when the host dismisses a screen of its own that the browser went over.
class NBBrowserView : public platform::View {
 public:
  NBBrowserView(const platform::Rect& frame, std::function<void()> leftWindow)
      : platform::View(frame), leftWindow_(std::move(leftWindow)) {}
  void didMoveToWindow() override {
    if (!window() && leftWindow_) leftWindow_();
  }

 private:
  std::function<void()> leftWindow_;
};

}  // namespace

NBEmbeddedWebViewController::NBEmbeddedWebViewController(platform::Passkey<NBEmbeddedWebViewController>) {}

void NBEmbeddedWebViewController::loadView() {
  std::weak_ptr<NBEmbeddedWebViewController> weak =
      std::static_pointer_cast<NBEmbeddedWebViewController>(shared_from_this());
  auto v = std::make_shared<NBBrowserView>(platform::Screen::mainScreen().applicationFrame(), [weak] {
    if (auto b = weak.lock()) b->viewLeftWindow();
  });
  v->setAutoresizingMask(platform::kAutoresizingFlexibleWidth | platform::kAutoresizingFlexibleHeight);
  setView(v);
}

// Taken away with the screen it went over, the browser hears no disappearance of its own: its
// owner hears the end here, or it would hold the click as under way with no browser up. Looked
// at on the next turn, once a dismissal has cleared its links: a screen put over the browser
// takes its view out of the window too, and the browser stays.
void NBEmbeddedWebViewController::viewLeftWindow() {
  if (dismissalAnnounced_ || disappeared_) return;
  auto self = std::static_pointer_cast<NBEmbeddedWebViewController>(shared_from_this());
  platform::RunLoop::main().post([self] {
    if (self->dismissalAnnounced_ || self->disappeared_ || self->view()->window()) return;
    auto nav = self->navigationController();
    if (nav ? nav->presentingViewController() : self->presentingViewController()) return;
    self->announceDismissal();
    self->announceDisappearance();
  });
}

std::shared_ptr<platform::GraphicsContext> NBEmbeddedWebViewController::newContext() {
  return std::make_shared<platform::GraphicsContext>(platform::Size{27, 27});
}

std::shared_ptr<platform::Image> NBEmbeddedWebViewController::newCloseImage() {
  auto context = newContext();
  context->setStrokeColor(platform::Color{1, 1, 1, 1});
  context->setLineWidth(4);
  context->moveToPoint(8, 6);
  context->addLineToPoint(24, 20);
  context->moveToPoint(24, 6);
  context->addLineToPoint(8, 20);
  context->strokePath();
  return platform::Image::imageWithDrawing(context);
}

namespace {

std::shared_ptr<platform::Image> filledTriangle(platform::Point a, platform::Point b, platform::Point c) {
  auto context = NBEmbeddedWebViewController::newContext();
  context->setFillColor(platform::Color{0, 0, 0, 1});
  context->moveToPoint(a.x, a.y);
  context->addLineToPoint(b.x, b.y);
  context->addLineToPoint(c.x, c.y);
  context->closePath();
  context->fillPath();
  return platform::Image::imageWithDrawing(context);
}

}  // namespace

std::shared_ptr<platform::Image> NBEmbeddedWebViewController::newBackArrowImageRef() {
  return filledTriangle({8, 13}, {24, 4}, {24, 22});
}

std::shared_ptr<platform::Image> NBEmbeddedWebViewController::newFwdArrowImageRef() {
  return filledTriangle({16, 13}, {0, 4}, {0, 22});
}

std::shared_ptr<NBEmbeddedWebViewController> NBEmbeddedWebViewController::create() {
  auto browser = std::make_shared<NBEmbeddedWebViewController>(platform::Passkey<NBEmbeddedWebViewController>());
  browser->build();
  return browser;
}

void NBEmbeddedWebViewController::build() {
  using platform::BarButtonItem;
  using platform::BarButtonItemStyle;
  using platform::BarButtonSystemItem;
  std::weak_ptr<NBEmbeddedWebViewController> weak =
      std::static_pointer_cast<NBEmbeddedWebViewController>(shared_from_this());
  auto target = std::static_pointer_cast<void>(shared_from_this());
  auto act = [weak](void (NBEmbeddedWebViewController::*f)()) {
    return [weak, f](BarButtonItem&) {
      if (auto b = weak.lock()) ((*b).*f)();
    };
  };
  safari_ = BarButtonItem::createWithBarButtonSystemItem(BarButtonSystemItem::Action, target, act(&NBEmbeddedWebViewController::openSafari));
  back_ = BarButtonItem::createWithImage(newBackArrowImageRef(), BarButtonItemStyle::Plain, target, act(&NBEmbeddedWebViewController::goBack));
  back_->setEnabled(false);
  reload_ = BarButtonItem::createWithBarButtonSystemItem(BarButtonSystemItem::Refresh, target, act(&NBEmbeddedWebViewController::refresh));
  close_ = BarButtonItem::createWithImage(newCloseImage(), BarButtonItemStyle::Plain, target, act(&NBEmbeddedWebViewController::closeMVC));
  fwd_ = BarButtonItem::createWithImage(newFwdArrowImageRef(), BarButtonItemStyle::Plain, target, act(&NBEmbeddedWebViewController::goFwd));
  fwd_->setEnabled(false);
  auto space = [] { return BarButtonItem::createWithBarButtonSystemItem(BarButtonSystemItem::FlexibleSpace, nullptr, nullptr); };
  setToolbarItems({close_, space(), reload_, space(), safari_, space(), back_, space(), fwd_});
  const auto bounds = view()->bounds();
  webview_ = platform::WebView::create(platform::Rect(0, 0, bounds.size.width, bounds.size.height));
  webview_->setAutoresizingMask(platform::kAutoresizingFlexibleWidth | platform::kAutoresizingFlexibleHeight);
  listener_ = std::make_shared<Listener>(weak);
  webview_->setDelegate(listener_);
  webview_->setScalesPageToFit(true);
  view()->addSubview(webview_);
}

NBEmbeddedWebViewController::~NBEmbeddedWebViewController() {
  if (webview_) webview_->setDelegate({});
}

void NBEmbeddedWebViewController::viewWillAppear(bool animated) {
  platform::ViewController::viewWillAppear(animated);
  if (auto nav = navigationController()) {
    nav->setToolbarHidden(false);
    nav->setNavigationBarHidden(true);
    nav->toolbar()->setBarStyle(platform::BarStyle::Black);
  }
}

void NBEmbeddedWebViewController::viewDidAppear(bool animated) {
  platform::ViewController::viewDidAppear(animated);
  if (urlString_) webview_->loadRequest(platform::URLRequest(*urlString_));
}

void NBEmbeddedWebViewController::viewWillDisappear(bool animated) {
  platform::ViewController::viewWillDisappear(animated);
  // Dismissed by its presenter rather than by its close button: the owner must still hear
  // that the screen goes, or it would hold its click as under way with no browser up.
  announceDismissal();
}

void NBEmbeddedWebViewController::viewDidDisappear(bool animated) {
  platform::ViewController::viewDidDisappear(animated);
  announceDisappearance();
}

void NBEmbeddedWebViewController::announceDisappearance() {
  auto self = shared_from_this();
  dismissalAnnounced_ = false;
  disappeared_ = true;
  if (auto d = delegate_.lock()) d->adScreenDidDismiss();
}

void NBEmbeddedWebViewController::announceDismissal() {
  if (dismissalAnnounced_) return;
  dismissalAnnounced_ = true;
  auto self = shared_from_this();
  webview_->stopLoading();
  if (auto d = delegate_.lock()) d->adScreenWillDismiss();
}

void NBEmbeddedWebViewController::closeMVC() {
  NBSDKUtil::util()->logAbove(1, "close MVC");
  announceDismissal();
  // The navigation controller around the browser is what was presented.
  if (auto nav = navigationController())
    nav->dismissModalViewControllerAnimated(true);
  else
    dismissModalViewControllerAnimated(true);
}

void NBEmbeddedWebViewController::refresh() { webview_->reload(); }

void NBEmbeddedWebViewController::openSafari() {
  // Handing the page to the system needs the user's choice first.
  auto sheet = std::make_shared<platform::ActionSheet>("", listener_, std::string("Cancel"), std::nullopt,
                                                       std::vector<std::string>{"Open in Safari"});
  sheet->showFromBarButtonItemAnimated(safari_, true);
}

void NBEmbeddedWebViewController::goBack() {
  webview_->goBack();
  checkButtonAction();
}

void NBEmbeddedWebViewController::goFwd() {
  webview_->goForward();
  checkButtonAction();
}

void NBEmbeddedWebViewController::checkButtonAction() {
  back_->setEnabled(webview_->canGoBack());
  fwd_->setEnabled(webview_->canGoForward());
}

}  // namespace nubira
