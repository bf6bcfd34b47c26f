#pragma once
// Follows the redirects of a click URL over HTTP(S), then hands the URL it ended on to the
// application to open (the store or the browser). A URL of any other scheme (an answer's
// link into another application) is handed over at once, without a load.
//
// The URL opened is the last one requested: every request the load sends (the first and
// each redirect) becomes `lastUrl`. A load that fails (a network error, or a redirect to a
// scheme the loader cannot fetch, such as the store's) still ends the click on `lastUrl`,
// so a redirect into the store opens the store. The load has the platform's default
// deadline and small-answer cap: a landing page that trickles, stalls or is huge fails it.
//
// What ad content may open: a page only web (http, https) and store addresses; an answer's
// own links (its deep links, the more-apps rows) may also lead into another application.
// Nothing from an ad ever places a call or a message, or opens script, file or data URLs.
// A redirect chain must end on a web or store address; where it ends elsewhere, or where it
// runs past the loader's redirect limit (a loop), the opener opens nothing, logs it and tells
// the delegate (urlWasRefused).
//
// Ownership: an opener keeps itself alive from open() until it has handed a URL over; the
// caller need not hold it. The delegate is not retained.
// Thread safety: main thread only.
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/passkey.h"
#include "platform/url_connection.h"

namespace cadenzo {

class CZUrlOpenerDelegate {
 public:
  virtual ~CZUrlOpenerDelegate() = default;
  // Optional: just before `url` is handed to the application.
  virtual void urlWillOpen(const std::string& url) { (void)url; }
  // Optional: `url` was not opened, as ad content may not open it.
  virtual void urlWasRefused(const std::string& url) { (void)url; }
};

class CZURLOpener : public platform::URLConnectionDelegate,
                    public std::enable_shared_from_this<CZURLOpener> {
 public:
  static std::shared_ptr<CZURLOpener> openerWithDelegate(std::weak_ptr<CZUrlOpenerDelegate> delegate);
  CZURLOpener(platform::Passkey<CZURLOpener>, std::weak_ptr<CZUrlOpenerDelegate> delegate)
      : delegate_(std::move(delegate)) {}

  // Opens a web address after its redirects, an application link at once; refuses what an
  // answer's link may not open (isOpenableAppLink).
  void open(const std::string& url);

  // A web or store address: what a page may open, and where a redirect chain may end.
  static bool isOpenableFromPage(const std::string& url);
  // What an answer's own link may open: anything with a scheme but calls, messages,
  // script, file and data URLs.
  static bool isOpenableAppLink(const std::string& url);

  std::optional<std::string> lastUrl() const;
  std::shared_ptr<CZUrlOpenerDelegate> delegate() const { return delegate_.lock(); }

  std::optional<platform::URLRequest> connectionWillSendRequestRedirectResponse(
      platform::URLConnection& connection, const platform::URLRequest& request,
      const platform::HTTPURLResponse* redirectResponse) override;
  void connectionDidFinishLoading(platform::URLConnection& connection) override;
  void connectionDidFailWithError(platform::URLConnection& connection, const platform::Error& error) override;

 private:
  void setLastUrl(std::string url);
  void handOver(const std::string& url);
  void refuse(const std::string& url);
  void handOverWhereTheChainEnded();

  mutable std::mutex mutex_;
  std::optional<std::string> lastUrl_;
  std::weak_ptr<CZUrlOpenerDelegate> delegate_;
};

}  // namespace cadenzo
