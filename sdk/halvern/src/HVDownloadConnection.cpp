#include "HVDownloadConnection.h"

#include "platform/log.h"

namespace halvern {

std::shared_ptr<HVDownloadConnection> HVDownloadConnection::timedConnectionWithURLRequestDelegateUserDataTimeoutRetries(
    const platform::URLRequest& request, DelegateRef delegate, platform::Value userData, double timeout, int retries) {
  auto connection = std::make_shared<HVDownloadConnection>(platform::Passkey<HVDownloadConnection>(), request,
                                                           std::move(delegate), std::move(userData), timeout, retries);
  connection->start();
  return connection;
}

HVDownloadConnection::HVDownloadConnection(platform::Passkey<HVDownloadConnection>, platform::URLRequest request,
                                           DelegateRef delegate, platform::Value userData, double timeout, int retries)
    : m_userData(std::move(userData)), m_delegate(std::move(delegate)), m_request(std::move(request)),
      m_timeout(timeout), m_retryCount(retries) {
  // The attempt's own limit decides; the connection's shorter idle limit would otherwise
  // end a stalled attempt first and report it as a failure instead of a time-out.
  if (m_timeout > 0 && m_request.timeoutInterval() <= m_timeout) m_request.setTimeoutInterval(m_timeout + 1.0);
}

HVDownloadConnection::~HVDownloadConnection() {
  stopTimer();
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
  if (m_timeout > 0) {
    m_timeoutTimer = platform::Timer::scheduledTimer(m_timeout, false, [weak](platform::Timer&) {
      if (auto self = weak.lock()) self->attemptFailed(true);
    });
  }
}

void HVDownloadConnection::restart() {
  if (m_connection) m_connection->cancel();
  m_connection.reset();
  stopTimer();
  start();
}

void HVDownloadConnection::cancel() {
  m_finished = true;
  ++m_attempt;
  stopTimer();
  if (m_connection) m_connection->cancel();
  m_connection.reset();
}

void HVDownloadConnection::stopTimer() {
  if (m_timeoutTimer) m_timeoutTimer->invalidate();
  m_timeoutTimer.reset();
}

void HVDownloadConnection::connectionDidReceiveResponse(platform::URLConnection&,
                                                        const platform::HTTPURLResponse& response) {
  m_expectedDataLength = response.expectedContentLength();
  m_receivedData.clear();
  m_responseStatusCode = static_cast<int>(response.statusCode());
  if (m_expectedDataLength > static_cast<long long>(kMaxReceivedBytes))
    giveUp("declares " + std::to_string(m_expectedDataLength) + " bytes, more than " +
           std::to_string(kMaxReceivedBytes));
}

void HVDownloadConnection::connectionDidReceiveData(platform::URLConnection&, const platform::Bytes& data) {
  if (m_finished) return;
  if (m_receivedData.size() + data.size() > kMaxReceivedBytes) {
    giveUp("passes " + std::to_string(kMaxReceivedBytes) + " bytes");
    return;
  }
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
  stopTimer();
  m_connection.reset();
  m_finished = true;
  if (auto delegate = m_delegate.lock()) delegate->downloadSucceeded(self);
}

void HVDownloadConnection::connectionDidFailWithError(platform::URLConnection&, const platform::Error&) {
  attemptFailed(false);
}

void HVDownloadConnection::attemptFailed(bool timedOut) {
  if (m_finished) return;
  auto self = shared_from_this();
  stopTimer();
  if (m_connection) m_connection->cancel();
  m_connection.reset();
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
  stopTimer();
  if (m_connection) m_connection->cancel();
  m_connection.reset();
  m_receivedData.clear();
  m_finished = true;
  platform::log("HVDownloadConnection: the answer from " + m_request.url() + " " + why + "; dropped.");
  if (auto delegate = m_delegate.lock()) delegate->downloadFailed(self);
}

}  // namespace halvern
