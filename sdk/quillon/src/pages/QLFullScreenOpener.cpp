#include "QLFullScreenOpener.h"

#include "QLBrowserController.h"
#include "QLClickTracker.h"
#include "QLNetworkUtilities.h"
#include "QLObjectPrivate.h"
#include "QLStatistics.h"
#include "QLViewController.h"
#include "QLWebAppViewController.h"
#include "platform/application.h"
#include "platform/device.h"
#include "platform/log.h"
#include "platform/text_helpers.h"
#include "platform/run_loop.h"
#include "platform/window.h"

namespace quillon {

using platform::URL;

namespace {
constexpr double kRetryDelay = 0.3;
constexpr int kMaxRetries = 3;

int orientationsFromText(const std::string& o) {
  if (o == "p") return 2;
  if (o == "l") return 3;
  return 1;
}
}  // namespace

// The composer is the system's screen, not one of the client's pages: neither the host's
// delegate nor the banners' refresh hear of it. Once it is gone, whoever it covered takes
// the keyboard and the motion events back.
class QLFullScreenOpener::MailListener : public platform::MailComposeDelegate {
 public:
  void mailComposeControllerDidFinishWithResultError(platform::MailComposeViewController& controller,
                                                     platform::MailComposeResult,
                                                     const std::optional<platform::Error>&) override {
    auto covered = controller.presentingViewController();
    controller.dismissModalViewControllerAnimated(true);
    if (covered) covered->becomeFirstResponder();
  }
};

std::shared_ptr<QLFullScreenOpener> QLFullScreenOpener::create() {
  return std::make_shared<QLFullScreenOpener>(Passkey{});
}

void QLFullScreenOpener::setViewController(std::weak_ptr<QLFullScreenController> controller) {
  viewController_ = std::move(controller);
}

std::shared_ptr<platform::ViewController> QLFullScreenOpener::presenter() const {
  // A page of the client opens over itself, nested as deep as the user's touches lead (each
  // opening takes a touch of its own, so a script cannot stack them); but only one page over
  // each, and none over a page that already shows one.
  if (auto page = std::dynamic_pointer_cast<QLViewController>(viewController_.lock())) {
    if (!page->presentedViewController()) return page;
    platform::log("<Quillon> Not opening a page over a page that already shows one.");
    return nullptr;
  }
  auto root = rootViewController_.lock();
  auto key = platform::Application::sharedApplication().keyWindow();
  // Pages are presented over whatever the key window's root (else the host's controller) shows.
  for (const auto& base : {key ? key->rootViewController() : nullptr, root}) {
    for (auto shown = base ? base->presentedViewController() : nullptr; shown; shown = shown->presentedViewController()) {
      if (std::dynamic_pointer_cast<QLViewController>(shown)) {
        platform::log("<Quillon> Not opening a page while a page of the client is on screen.");
        return nullptr;
      }
    }
  }
  return root;
}

void QLFullScreenOpener::openNotification(const QLNotification& notification) {
  auto url = URL::create(notification.parameter("u"));
  const std::string action = notification.parameter("a");
  const std::string html = notification.parameter("html");
  if (!url && !(action == "webapp" && !html.empty())) return;
  int orientations = orientationsFromText(notification.parameter("o"));
  if (url) url = QLStatistics::sharedStatistics()->urlForClick(*url);
  if (action == "browser" || action == "video") {
    openBrowserToURLSupportedOrientations(*url, orientations);
  } else if (action == "webapp") {
    if (url) {
      // The ad's own web-app page: the document the client loads for it talks with the client.
      openWebApp(orientations, [&url](QLWebAppViewController& page) { page.load(*url, true); });
    } else {
      openWebAppWithHTMLSupportedOrientations(html, orientations);
    }
  } else {
    openApp(*url);
  }
}

void QLFullScreenOpener::openBrowserToURLSupportedOrientations(const URL& url, int orientations) {
  auto from = presenter();
  if (!from) return;
  auto browser = QLBrowserController::create();
  browser->setSupportedOrientations(orientations);
  browser->setOpeningWebView(openingWebView_);
  browser->setDelegateManager(delegateManager_);
  browser->loadReferringURL(url, referringURL_);
  if (browser->presentFromViewController(from)) didOpen();
}

void QLFullScreenOpener::openWebAppSupportedOrientations(const URL& url, int orientations) {
  openWebApp(orientations, [&url](QLWebAppViewController& page) { page.load(url); });
}

void QLFullScreenOpener::openWebAppWithHTMLSupportedOrientations(const std::string& html, int orientations) {
  openWebApp(orientations, [&html](QLWebAppViewController& page) { page.loadHTMLBaseURL(html, std::nullopt); });
}

void QLFullScreenOpener::openWebApp(int orientations, const std::function<void(QLWebAppViewController&)>& load) {
  auto from = presenter();
  if (!from) return;
  auto page = QLWebAppViewController::create();
  page->setSupportedOrientations(orientations);
  page->setOpeningWebView(openingWebView_);
  page->setDelegateManager(delegateManager_);
  page->setAdController(adController_, clickURLs());
  load(*page);
  if (page->presentFromViewController(from)) didOpen();
}

void QLFullScreenOpener::openApp(const URL& url) {
  // The click trackers go once per opening; waiting for them to finish must not send them again.
  didOpen();
  openAppAttempt(url, 0);
}

void QLFullScreenOpener::openAppAttempt(const URL& url, int attempt) {
  auto self = shared_from_this();
  if (!platform::Device::currentDevice().isMultitaskingSupported() && QLClickTracker::activeTrackings() &&
      attempt < kMaxRetries) {
    // The retry keeps the opener: whoever made it (the browser's "open outside") may let go
    // as soon as the call returns, and the user's link must still open.
    platform::RunLoop::main().postAfter(
        kRetryDelay, [self, url, attempt] { self->openAppAttempt(url, attempt + 1); }, this);
    return;
  }
  // The host hears of the leaving only when the phone has something to leave for.
  const std::string text = url.absoluteString();
  if (delegateManager_ && platform::Application::sharedApplication().canOpenURL(text))
    delegateManager_->willLeaveApplication();
  platform::RunLoop::main().post([text] {
    platform::Application::sharedApplication().openURL(text);
  });
}

void QLFullScreenOpener::openMailComposer(const URL& url) {
  auto from = presenter();
  if (!from) return;
  std::string text = url.absoluteString();
  text = text.substr(std::min<size_t>(text.size(), 7));  // after "mailto:"
  size_t question = text.find('?');
  std::string address = text.substr(0, question);
  platform::Dictionary query;
  if (question != std::string::npos) query = QLNetworkUtilities::dictionaryFromQueryString(text.substr(question + 1));
  // Every field is the page's text: no control character reaches the message's headers.
  auto clean = [](const std::string& text) {
    return platform::trimWhitespaceAndNewlines(QLNetworkUtilities::removingControlCharacters(text));
  };
  auto split = [&](const std::string& list) {
    std::vector<std::string> out;
    size_t start = 0;
    while (!list.empty()) {
      size_t comma = list.find(',', start);
      std::string address = clean(list.substr(start, comma == std::string::npos ? comma : comma - start));
      if (!address.empty()) out.push_back(std::move(address));
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
    return out;
  };
  auto composer = std::make_shared<platform::MailComposeViewController>();
  composer->setToRecipients({clean(address)});
  if (auto cc = query.find("cc")) composer->setCcRecipients(split(cc->string()));
  if (auto bcc = query.find("bcc")) composer->setBccRecipients(split(bcc->string()));
  if (auto subject = query.find("subject")) composer->setSubject(clean(subject->string()));
  if (auto body = query.find("body"))
    composer->setMessageBodyIsHTML(QLNetworkUtilities::removingControlCharacters(body->string(), true), false);
  composer->setModalTransitionStyle(platform::ModalTransitionStyle::CoverVertical);
  // The composer's Cancel and Send must still close it once the host has let the banner (and
  // this opener) go: one listener, holding nothing, lives as long as the process.
  static const auto listener = std::make_shared<MailListener>();
  composer->setMailComposeDelegate(listener);
  from->presentModalViewControllerAnimated(composer, true);
  if (composer->presentingViewController()) didOpen();
}

std::vector<URL> QLFullScreenOpener::clickURLs() const {
  if (clickURLs_) return *clickURLs_;
  auto engine = adController_.lock();
  return engine ? engine->pendingClickURLs() : std::vector<URL>{};
}

void QLFullScreenOpener::didOpen() {
  auto engine = adController_.lock();
  if (!engine) return;
  auto web = openingWebView_.lock();
  const auto touch = web ? web->recentUserTouch() : std::nullopt;
  if (touch && touch == trackedTouch_) return;
  if (touch) trackedTouch_ = touch;
  engine->trackURLs(clickURLs());
}

}  // namespace quillon
