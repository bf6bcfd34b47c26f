#include "platform/url_connection.h"

#include <atomic>
#include <mutex>
#include <unordered_set>

#include "curl_driver.h"
#include "http_exchange.h"
#include "platform/clock.h"
#include "platform/run_loop.h"
#include "platform/singleton.h"

namespace platform {
namespace {

std::atomic<size_t> gLiveConnections{0};

}  // namespace

struct URLConnection::Impl final : net::CurlTransfer, net::HopReader {
  enum class State { Idle, Starting, Loading, Ended };

  URLConnection* owner;
  URLRequest original;
  URLRequest current;
  std::shared_ptr<URLConnectionDelegate> delegate;
  // The loop's hold on a running connection (released when it ends).
  std::shared_ptr<URLConnection> retained;
  RunLoop* loop = nullptr;
  State state = State::Idle;
  net::EasyHandle easy;
  int redirects = 0;
  bool responseDelivered = false;
  std::optional<HTTPURLResponse> pendingResponse;
  Bytes pendingData;
  PerformHandle startPerform;
  PerformHandle idleCheck;
  PerformHandle deadlineCheck;
  double lastActivity = 0;

  Impl(URLConnection* o, const URLRequest& request, std::shared_ptr<URLConnectionDelegate> d)
      : owner(o), original(request), current(request), delegate(std::move(d)) {}

  ~Impl() override { detachEasy(); }

  static std::unordered_set<Impl*>& running() {
    thread_local std::unordered_set<Impl*> set;
    return set;
  }

  double timeout() const { return current.timeoutInterval(); }

  void start() {
    if (state != State::Idle) return;
    state = State::Starting;
    loop = &RunLoop::current();
    retained = owner->shared_from_this();
    running().insert(this);
    ++gLiveConnections;
    registerReset();
    if (auto deadline = original.deadlineInterval()) {
      // A timer of its own: bytes that keep trickling in reset the idle check, never this.
      deadlineCheck = loop->postAfter(*deadline, [this] {
        auto keep = retained;
        if (state == State::Starting || state == State::Loading) fail(URLErrorTimedOut);
      });
    }
    startPerform = loop->postAfter(0, [this] { sendRequest(current, nullptr); });
  }

  // Asks the delegate about `request` (the first one, or a redirect's) and sends the answer.
  void sendRequest(URLRequest request, const HTTPURLResponse* redirectResponse) {
    auto keep = retained;
    if (state == State::Ended) return;
    if (auto d = delegate) {
      auto decided = d->connectionWillSendRequestRedirectResponse(*owner, request, redirectResponse);
      if (state == State::Ended) return;
      if (!decided) {
        end();
        return;
      }
      request = std::move(*decided);
    }
    current = std::move(request);
    std::string scheme = net::schemeOf(current.url());
    if (!net::isLoadableScheme(scheme)) {
      fail(scheme.empty() ? URLErrorBadURL : URLErrorUnsupportedURL);
      return;
    }
    resetHop();
    setMaximumContentLength(current.maximumContentLength());
    pendingResponse.reset();
    pendingData.clear();
    if (!easy.configure(current)) {
      fail(URLErrorBadURL);
      return;
    }
    attach(easy.get());
    state = State::Loading;
    if (!net::CurlDriver::current().add(easy.get(), this)) {
      easy.reset();
      fail(URLErrorUnknown);
      return;
    }
    touch();
    scheduleIdleCheck(timeout());
  }

  void touch() { lastActivity = Clock::current().monotonic(); }

  void scheduleIdleCheck(double after) {
    idleCheck.cancel();
    idleCheck = loop->postAfter(after, [this] {
      auto keep = retained;
      if (state != State::Loading) return;
      double idle = Clock::current().monotonic() - lastActivity;
      if (idle + 1e-9 >= timeout()) {
        fail(URLErrorTimedOut);
      } else {
        scheduleIdleCheck(timeout() - idle);
      }
    });
  }

  // HopReader: called from inside libcurl, so only record.
  void onHead() override {
    if (isRedirect()) return;
    pendingResponse = HTTPURLResponse(current.url(), status(), headers());
    net::CurlDriver::current().markPending(easy.get());
  }
  void onBody(const char* data, size_t length) override {
    pendingData.insert(pendingData.end(), data, data + length);
    net::CurlDriver::current().markPending(easy.get());
  }
  void onActivity() override { touch(); }

  void deliverPending() override {
    auto keep = retained;
    auto d = delegate;
    if (pendingResponse && state == State::Loading) {
      HTTPURLResponse response = std::move(*pendingResponse);
      pendingResponse.reset();
      responseDelivered = true;
      if (d) d->connectionDidReceiveResponse(*owner, response);
    }
    if (!pendingData.empty() && state == State::Loading) {
      Bytes data;
      data.swap(pendingData);
      if (d) d->connectionDidReceiveData(*owner, data);
    }
  }

  void transferDone(CURLcode result) override {
    auto keep = retained;
    deliverPending();
    if (state != State::Loading) return;
    long osErrno = 0;
    curl_easy_getinfo(easy.get(), CURLINFO_OS_ERRNO, &osErrno);
    const bool redirect = isRedirect();
    HTTPURLResponse head(current.url(), status(), headers());
    detachEasy();
    if (exceededCap()) {
      fail(URLErrorDataLengthExceedsMaximum);
      return;
    }
    if (result != CURLE_OK) {
      fail(net::urlErrorCodeFor(result, osErrno));
      return;
    }
    if (redirect) {
      followRedirect(head);
      return;
    }
    auto d = delegate;
    end();
    if (d) d->connectionDidFinishLoading(*owner);
  }

  void followRedirect(const HTTPURLResponse& redirect) {
    if (++redirects > kMaxRedirects) {
      fail(URLErrorHTTPTooManyRedirects);
      return;
    }
    auto next = net::redirectedRequest(current, redirect);
    if (!next) {
      fail(URLErrorBadURL);
      return;
    }
    idleCheck.cancel();
    state = State::Starting;
    sendRequest(std::move(*next), &redirect);
  }

  void fail(long code) {
    auto d = delegate;
    Error error = net::urlError(code, current.url());
    end();
    if (d) d->connectionDidFailWithError(*owner, error);
  }

  void detachEasy() {
    if (easy.get()) {
      net::CurlDriver::current().remove(easy.get());
      easy.reset();
    }
  }

  // Stops everything and lets go of the delegate and of the loop's hold. The connection
  // itself survives until the end of the turn, since a caller may be inside its methods.
  void end() {
    if (state == State::Ended) return;
    const bool wasStarted = state != State::Idle;
    state = State::Ended;
    startPerform.cancel();
    idleCheck.cancel();
    deadlineCheck.cancel();
    detachEasy();
    pendingResponse.reset();
    Bytes().swap(pendingData);
    delegate.reset();
    if (wasStarted) {
      running().erase(this);
      --gLiveConnections;
    }
    if (retained) {
      if (loop) loop->keepAliveUntilEndOfTurn(std::move(retained));
      retained.reset();
    }
  }

  static void registerReset() {
    static std::once_flag once;
    std::call_once(once, [] {
      onProcessReset([] {
        auto all = running();
        for (Impl* impl : all) impl->end();
        net::CurlDriver::current().abandonAll();
      });
    });
  }
};

URLConnection::URLConnection(Passkey<URLConnection>, const URLRequest& request,
                             std::shared_ptr<URLConnectionDelegate> delegate)
    : impl_(std::make_unique<Impl>(this, request, std::move(delegate))) {}

URLConnection::~URLConnection() = default;

std::shared_ptr<URLConnection> URLConnection::connectionWithRequestDelegate(
    const URLRequest& request, std::shared_ptr<URLConnectionDelegate> delegate) {
  return create(request, std::move(delegate), true);
}

std::shared_ptr<URLConnection> URLConnection::create(
    const URLRequest& request, std::shared_ptr<URLConnectionDelegate> delegate,
    bool startImmediately) {
  auto connection = std::make_shared<URLConnection>(Passkey<URLConnection>(), request, std::move(delegate));
  if (startImmediately) connection->start();
  return connection;
}

bool URLConnection::canHandleRequest(const URLRequest& request) {
  return net::isLoadableScheme(net::schemeOf(request.url()));
}

void URLConnection::start() { impl_->start(); }

void URLConnection::cancel() {
  if (impl_->state == Impl::State::Idle) {
    // Never started: it can no longer start either.
    impl_->state = Impl::State::Ended;
    impl_->delegate.reset();
    return;
  }
  impl_->end();
}

const URLRequest& URLConnection::originalRequest() const { return impl_->original; }
const URLRequest& URLConnection::currentRequest() const { return impl_->current; }
bool URLConnection::isRunning() const {
  return impl_->state == Impl::State::Starting || impl_->state == Impl::State::Loading;
}
size_t URLConnection::liveCount() { return gLiveConnections.load(); }

}  // namespace platform
