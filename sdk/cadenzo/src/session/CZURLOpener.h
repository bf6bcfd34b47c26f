#pragma once
// Follows the redirects of a click URL over HTTP(S), then hands the URL it ended on to the
// application to open (the store, the browser or another application). A URL of any other
// scheme is handed over at once, without a load.
//
// The URL opened is the last one requested: every request the load sends (the first and
// each redirect) becomes `lastUrl`. A load that fails (a network error, or a redirect to a
// scheme the loader cannot fetch, such as the store's) still ends the click: the delegate
// is told and `lastUrl` is opened, so a redirect into the store opens the store.
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
};

class CZURLOpener : public platform::URLConnectionDelegate,
                    public std::enable_shared_from_this<CZURLOpener> {
 public:
  static std::shared_ptr<CZURLOpener> openerWithDelegate(std::weak_ptr<CZUrlOpenerDelegate> delegate);
  CZURLOpener(platform::Passkey<CZURLOpener>, std::weak_ptr<CZUrlOpenerDelegate> delegate)
      : delegate_(std::move(delegate)) {}

  void open(const std::string& url);

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

  mutable std::mutex mutex_;
  std::optional<std::string> lastUrl_;
  std::weak_ptr<CZUrlOpenerDelegate> delegate_;
};

}  // namespace cadenzo
