#pragma once
// A small retrying, time-limited download: each attempt fetches the request afresh, is cut
// by its time limit, and counts against the attempts left; the delegate hears the single
// outcome. Only http and https are fetched, and only a 200 answer is a success.
//
// Every attempt ends. With a timeout given, that is its limit (cut to the platform's longest),
// and the attempt may go silent for as long. Without one (a timeout <= 0, or one that is no
// number) an attempt that goes silent for the request's idle time-out ends, and the whole
// attempt has deadlineForContentLength() of its cap: time for the largest answer allowed
// over a slow link. An attempt that runs into either limit counts as timed out. An answer is held in memory, so one longer than the request's
// maximumContentLength (kDownloadMaximumContentLength unless the caller names a cap) ends
// the download at once, without retries. A download that ends without success is logged
// once. Main thread only.
#include <cstdint>
#include <memory>

#include "platform/passkey.h"
#include "platform/run_loop.h"
#include "platform/url_connection.h"
#include "platform/value.h"

namespace halvern {

class HVDownloadConnection;

// Every method is optional.
class HVDownloadConnectionDelegate {
 public:
  virtual ~HVDownloadConnectionDelegate() = default;
  virtual void downloadSucceeded(const std::shared_ptr<HVDownloadConnection>&) {}
  virtual void downloadFailed(const std::shared_ptr<HVDownloadConnection>&) {}
  virtual void downloadTimedOut(const std::shared_ptr<HVDownloadConnection>&) {}
  virtual void downloadProgress(const std::shared_ptr<HVDownloadConnection>&) {}
};

class HVDownloadConnection : public platform::URLConnectionDelegate,
                             public std::enable_shared_from_this<HVDownloadConnection> {
 public:
  using DelegateRef = std::weak_ptr<HVDownloadConnectionDelegate>;

  // What a download may bring unless its request names a cap: packages and scripts.
  static constexpr uint64_t kDownloadMaximumContentLength = 16u << 20;
  // The shortest limit of an attempt made without a timeout of its own.
  static constexpr double kDefaultDeadlineInterval = platform::kURLDefaultDeadlineInterval;
  // The slowest link a download without a timeout is sized for (about 256 kbit/s).
  static constexpr double kSlowestLinkBytesPerSecond = 32.0 * 1024;
  // The deadline of an attempt without a timeout that may bring `maximumContentLength` bytes:
  // the time that many bytes take over the slowest link, at least kDefaultDeadlineInterval,
  // at most the platform's longest (about 8.5 minutes for kDownloadMaximumContentLength).
  static double deadlineForContentLength(uint64_t maximumContentLength);

  // A GET of `url` for an answer nobody keeps (a ping, a tracker): capped as any small answer.
  static platform::URLRequest smallAnswerRequest(const std::string& url);

  // Each starts at once. A timeout <= 0 means the default limit; max(retries, 1) attempts
  // are made.
  static std::shared_ptr<HVDownloadConnection> timedConnectionWithURLRequestDelegateUserDataTimeoutRetries(
      const platform::URLRequest& request, DelegateRef delegate, platform::Value userData, double timeout, int retries);
  static std::shared_ptr<HVDownloadConnection> timedConnectionWithURLRequestDelegateUserDataTimeout(
      const platform::URLRequest& request, DelegateRef delegate, platform::Value userData, double timeout) {
    return timedConnectionWithURLRequestDelegateUserDataTimeoutRetries(request, std::move(delegate),
                                                                       std::move(userData), timeout, 0);
  }
  static std::shared_ptr<HVDownloadConnection> connectionWithURLRequestDelegateUserDataRetries(
      const platform::URLRequest& request, DelegateRef delegate, platform::Value userData, int retries) {
    return timedConnectionWithURLRequestDelegateUserDataTimeoutRetries(request, std::move(delegate),
                                                                       std::move(userData), -1.0, retries);
  }
  static std::shared_ptr<HVDownloadConnection> connectionWithURLRequestDelegateUserData(
      const platform::URLRequest& request, DelegateRef delegate, platform::Value userData) {
    return timedConnectionWithURLRequestDelegateUserDataTimeoutRetries(request, std::move(delegate),
                                                                       std::move(userData), -1.0, 0);
  }

  HVDownloadConnection(platform::Passkey<HVDownloadConnection>, platform::URLRequest request, DelegateRef delegate,
                       platform::Value userData, double timeout, int retries);
  ~HVDownloadConnection() override;

  void start();
  void restart();
  // Stops for good; the delegate hears nothing more.
  void cancel();

  const platform::Value& userData() const { return m_userData; }
  void setUserData(platform::Value userData) { m_userData = std::move(userData); }
  const platform::Bytes& receivedData() const { return m_receivedData; }
  long long expectedDataLength() const { return m_expectedDataLength; }
  int responseStatusCode() const { return m_responseStatusCode; }
  const platform::URLRequest& request() const { return m_request; }

  // URLConnectionDelegate.
  void connectionDidReceiveResponse(platform::URLConnection&, const platform::HTTPURLResponse& response) override;
  void connectionDidReceiveData(platform::URLConnection&, const platform::Bytes& data) override;
  void connectionDidFinishLoading(platform::URLConnection&) override;
  void connectionDidFailWithError(platform::URLConnection&, const platform::Error&) override;

 private:
  void attemptFailed(bool timedOut);
  // Ends the download as failed whatever attempts are left.
  void giveUp(const std::string& why);
  void dropConnection();

  platform::Value m_userData;
  platform::Bytes m_receivedData;
  DelegateRef m_delegate;
  long long m_expectedDataLength = 0;
  int m_responseStatusCode = 0;
  platform::URLRequest m_request;
  double m_timeout;
  int m_retryCount;
  std::shared_ptr<platform::URLConnection> m_connection;
  unsigned m_attempt = 0;
  bool m_finished = false;
};

}  // namespace halvern
