#include "HVDownloadConnection.h"

#include <algorithm>

#include "platform/log.h"

namespace halvern {

std::shared_ptr<HVDownloadConnection> HVDownloadConnection::timedConnectionWithURLRequestDelegateUserDataTimeoutRetries(
    const platform::URLRequest& request, DelegateRef delegate, platform::Value userData, double timeout, int retries) {
  auto connection = std::make_shared<HVDownloadConnection>(platform::Passkey<HVDownloadConnection>(), request,
                                                           std::move(delegate), std::move(userData), timeout, retries);
  connection->start();
  return connection;
}

platform::URLRequest HVDownloadConnection::smallAnswerRequest(const std::string& url) {
  platform::URLRequest request(url);
  request.setMaximumContentLength(platform::kURLDefaultMaximumContentLength);
  return request;
}

HVDownloadConnection::HVDownloadConnection(platform::Passkey<HVDownloadConnection>, platform::URLRequest request,
                                           DelegateRef delegate, platform::Value userData, double timeout, int retries)
    : m_userData(std::move(userData)), m_delegate(std::move(delegate)), m_request(std::move(request)),
      m_timeout(timeout), m_retryCount(retries) {
  if (!m_request.maximumContentLength()) m_request.setMaximumContentLength(kDownloadMaximumContentLength);
  if (m_timeout > 0) {
    // The caller's limit decides, also over a shorter idle time-out (the platform clamps what
    // a page or server names: no number, or past an hour).
    m_request.setDeadlineInterval(m_timeout);
    const double limit = *m_request.deadlineInterval();
    if (m_request.timeoutInterval() <= limit) m_request.setTimeoutInterval(limit + 1.0);
  } else if (!m_request.deadlineInterval()) {
    // A download "without a time limit" would hold its connection for as long as a server
    // cares to trickle: a stall ends on the idle time-out, a trickle on a deadline that still
    // lets the largest answer allowed come over a slow link.
    m_request.setDeadlineInterval(deadlineForContentLength(*m_request.maximumContentLength()));
  }
}

double HVDownloadConnection::deadlineForContentLength(uint64_t maximumContentLength) {
  const double transfer = static_cast<double>(maximumContentLength) / kSlowestLinkBytesPerSecond;
  return platform::soundTimeInterval(std::max(transfer, kDefaultDeadlineInterval));
}

HVDownloadConnection::~HVDownloadConnection() {
  if (m_connection) m_connection->cancel();
}

void HVDownloadConnection::start() {
  if (m_finished) return;
  m_receivedData.clear();
  m_responseStatusCode = 0;
  std::weak_ptr<HVDownloadConnection> weak = weak_from_this();
  if (!platform::URLConnection::canHandleRequest(m_request)) {
    // A page or server may name a local file; nothing but the network is fetched. The
    // refusal comes on a later turn, as a failed load would.
    const unsigned attempt = ++m_attempt;
    platform::RunLoop::main().post([weak, attempt] {
      if (auto self = weak.lock(); self && self->m_attempt == attempt) self->attemptFailed(false);
    });
    return;
  }
  m_connection = platform::URLConnection::connectionWithRequestDelegate(m_request, shared_from_this());
}

void HVDownloadConnection::restart() {
  dropConnection();
  start();
}

void HVDownloadConnection::cancel() {
  m_finished = true;
  ++m_attempt;
  dropConnection();
}

void HVDownloadConnection::dropConnection() {
  if (m_connection) m_connection->cancel();
  m_connection.reset();
}

void HVDownloadConnection::connectionDidReceiveResponse(platform::URLConnection&,
                                                        const platform::HTTPURLResponse& response) {
  m_expectedDataLength = response.expectedContentLength();
  m_receivedData.clear();
  m_responseStatusCode = static_cast<int>(response.statusCode());
}

void HVDownloadConnection::connectionDidReceiveData(platform::URLConnection&, const platform::Bytes& data) {
  if (m_finished) return;
  m_receivedData.insert(m_receivedData.end(), data.begin(), data.end());
  auto self = shared_from_this();
  if (auto delegate = m_delegate.lock()) delegate->downloadProgress(self);
}

void HVDownloadConnection::connectionDidFinishLoading(platform::URLConnection&) {
  if (m_finished) return;
  if (m_responseStatusCode != 200) {
    attemptFailed(false);
    return;
  }
  auto self = shared_from_this();
  m_connection.reset();
  m_finished = true;
  if (auto delegate = m_delegate.lock()) delegate->downloadSucceeded(self);
}

void HVDownloadConnection::connectionDidFailWithError(platform::URLConnection&, const platform::Error& error) {
  const bool platformError = error.domain == platform::kURLErrorDomain;
  if (platformError && error.code == platform::URLErrorDataLengthExceedsMaximum) {
    // Asking again would bring the same answer.
    giveUp("is larger than " + std::to_string(m_request.maximumContentLength().value_or(0)) + " bytes");
    return;
  }
  attemptFailed(platformError && error.code == platform::URLErrorTimedOut);
}

void HVDownloadConnection::attemptFailed(bool timedOut) {
  if (m_finished) return;
  auto self = shared_from_this();
  dropConnection();
  if (--m_retryCount < 1) {
    m_finished = true;
    platform::log("HVDownloadConnection: the download of " + m_request.url() +
                  (timedOut ? " timed out." : " failed."));
    if (auto delegate = m_delegate.lock()) {
      if (timedOut) delegate->downloadTimedOut(self);
      else delegate->downloadFailed(self);
    }
    return;
  }
  start();
}

void HVDownloadConnection::giveUp(const std::string& why) {
  if (m_finished) return;
  auto self = shared_from_this();
  dropConnection();
  m_receivedData.clear();
  m_finished = true;
  platform::log("HVDownloadConnection: the answer from " + m_request.url() + " " + why + "; dropped.");
  if (auto delegate = m_delegate.lock()) delegate->downloadFailed(self);
}

}  // namespace halvern
