#include "http_exchange.h"

#include <algorithm>
#include <cerrno>
#include <mutex>

namespace platform::net {
namespace {

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) {
    s.remove_suffix(1);
  }
  return s;
}

const char* descriptionFor(long code) {
  switch (code) {
    case URLErrorCancelled: return "cancelled";
    case URLErrorBadURL: return "bad URL";
    case URLErrorTimedOut: return "The request timed out.";
    case URLErrorUnsupportedURL: return "unsupported URL";
    case URLErrorCannotFindHost: return "A server with the specified hostname could not be found.";
    case URLErrorCannotConnectToHost: return "Could not connect to the server.";
    case URLErrorNetworkConnectionLost: return "The network connection was lost.";
    case URLErrorHTTPTooManyRedirects: return "too many HTTP redirects";
    case URLErrorNotConnectedToInternet: return "The Internet connection appears to be offline.";
    case URLErrorBadServerResponse: return "bad server response";
    case URLErrorFileDoesNotExist: return "The requested URL was not found on this server.";
    case URLErrorDataLengthExceedsMaximum: return "resource exceeds maximum size";
    case URLErrorSecureConnectionFailed:
      return "An SSL error has occurred and a secure connection to the server cannot be made.";
    case URLErrorServerCertificateUntrusted: return "The certificate for this server is invalid.";
    default: return "unknown error";
  }
}

// Cookies live in one jar for the whole process, as the platform's shared storage does.
std::mutex gShareLocks[CURL_LOCK_DATA_LAST];

void lockShare(CURL*, curl_lock_data data, curl_lock_access, void*) { gShareLocks[data].lock(); }
void unlockShare(CURL*, curl_lock_data data, void*) { gShareLocks[data].unlock(); }

CURLSH* cookieShare() {
  static CURLSH* share = [] {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    CURLSH* s = curl_share_init();
    curl_share_setopt(s, CURLSHOPT_LOCKFUNC, lockShare);
    curl_share_setopt(s, CURLSHOPT_UNLOCKFUNC, unlockShare);
    curl_share_setopt(s, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    return s;
  }();
  return share;
}

}  // namespace

Error urlError(long code, const std::string& url) {
  Dictionary info;
  info.set(kLocalizedDescriptionKey, Value(std::string(descriptionFor(code))));
  if (!url.empty()) {
    info.set("NSErrorFailingURLStringKey", Value(url));
  }
  return Error{kURLErrorDomain, code, Value(std::move(info))};
}

long urlErrorCodeFor(CURLcode result, long osErrno) {
  switch (result) {
    case CURLE_OK: return 0;
    // Schemes are checked before a transfer starts (and every redirect is followed by hand),
    // so the library refusing the protocol means the answer was not HTTP at all: a head-less
    // reply or a status line of another protocol. That is the server's fault, not the URL's.
    case CURLE_UNSUPPORTED_PROTOCOL: return URLErrorBadServerResponse;
    case CURLE_URL_MALFORMAT: return URLErrorBadURL;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return URLErrorCannotFindHost;
    case CURLE_COULDNT_CONNECT:
      if (osErrno == ENETUNREACH || osErrno == ENETDOWN) return URLErrorNotConnectedToInternet;
      return URLErrorCannotConnectToHost;
    case CURLE_OPERATION_TIMEDOUT: return URLErrorTimedOut;
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE: return URLErrorNetworkConnectionLost;
    case CURLE_TOO_MANY_REDIRECTS: return URLErrorHTTPTooManyRedirects;
    case CURLE_PEER_FAILED_VERIFICATION: return URLErrorServerCertificateUntrusted;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS: return URLErrorSecureConnectionFailed;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING: return URLErrorBadServerResponse;
    default: return URLErrorUnknown;
  }
}

std::string schemeOf(const std::string& url) {
  size_t i = 0;
  if (url.empty() || !std::isalpha(static_cast<unsigned char>(url[0]))) return "";
  while (i < url.size()) {
    char c = url[i];
    if (c == ':') return lower(std::string_view(url).substr(0, i));
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') return "";
    ++i;
  }
  return "";
}

bool isLoadableScheme(const std::string& scheme) { return scheme == "http" || scheme == "https"; }

std::optional<std::string> resolveURL(const std::string& base, const std::string& location) {
  std::string trimmed(trim(location));
  std::string scheme = schemeOf(trimmed);
  // Another application's scheme is not ours to normalise: keep it as written.
  if (!scheme.empty() && !isLoadableScheme(scheme)) return trimmed;
  CURLU* u = curl_url();
  std::optional<std::string> out;
  if (curl_url_set(u, CURLUPART_URL, base.c_str(), 0) == CURLUE_OK &&
      curl_url_set(u, CURLUPART_URL, trimmed.c_str(), 0) == CURLUE_OK) {
    char* text = nullptr;
    if (curl_url_get(u, CURLUPART_URL, &text, 0) == CURLUE_OK) {
      out = text;
      curl_free(text);
    }
  }
  curl_url_cleanup(u);
  return out;
}

bool isFollowedRedirect(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::optional<URLRequest> redirectedRequest(const URLRequest& current,
                                            const HTTPURLResponse& redirect) {
  auto location = redirect.valueForHTTPHeaderField("Location");
  if (!location) return std::nullopt;
  auto target = resolveURL(current.url(), *location);
  if (!target) return std::nullopt;
  URLRequest next = current;
  next.setURL(*target);
  const long status = redirect.statusCode();
  const std::string& method = current.httpMethod();
  const bool toGet = (status == 303 && method != "GET" && method != "HEAD") ||
                     ((status == 301 || status == 302) && method == "POST");
  if (toGet) {
    next.setHTTPMethod("GET");
    next.setHTTPBody(Bytes{});
    next.setValueForHTTPHeaderField(std::nullopt, "Content-Type");
    next.setValueForHTTPHeaderField(std::nullopt, "Content-Length");
  }
  return next;
}

namespace {

// A method is sent as written on the request line, so it must be one HTTP token: a space or
// a line break in it would let the caller's text write a request of its own.
bool isMethodToken(const std::string& method) {
  return std::all_of(method.begin(), method.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) ||
           std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
  });
}

}  // namespace

bool EasyHandle::configure(const URLRequest& request) {
  reset();
  if (!isMethodToken(request.httpMethod())) return false;
  cookieShare();  // also initialises libcurl once
  easy_ = curl_easy_init();
  if (!easy_) return false;
  bool ok = curl_easy_setopt(easy_, CURLOPT_URL, request.url().c_str()) == CURLE_OK;
  curl_easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy_, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(easy_, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1");
  if (request.httpShouldHandleCookies()) {
    curl_easy_setopt(easy_, CURLOPT_SHARE, cookieShare());
    curl_easy_setopt(easy_, CURLOPT_COOKIEFILE, "");
  }

  const std::string& method = request.httpMethod();
  const Bytes& body = request.httpBody();
  if (method == "GET") {
    curl_easy_setopt(easy_, CURLOPT_HTTPGET, 1L);
  } else if (method == "HEAD") {
    curl_easy_setopt(easy_, CURLOPT_NOBODY, 1L);
  } else {
    if (method == "POST" || !body.empty()) {
      curl_easy_setopt(easy_, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
      curl_easy_setopt(easy_, CURLOPT_COPYPOSTFIELDS,
                       body.empty() ? "" : reinterpret_cast<const char*>(body.data()));
    }
    if (method != "POST") curl_easy_setopt(easy_, CURLOPT_CUSTOMREQUEST, method.c_str());
  }

  for (const auto& [name, value] : request.allHTTPHeaderFields().fields()) {
    std::string key = lower(name);
    if (key == "accept-encoding") {
      // libcurl then both asks for the encoding and decodes it.
      curl_easy_setopt(easy_, CURLOPT_ACCEPT_ENCODING, value.c_str());
      continue;
    }
    if (key == "content-length" || key == "expect") continue;
    // Header text that would split the request is refused rather than sent.
    if (name.find_first_of("\r\n:") != std::string::npos ||
        value.find_first_of("\r\n") != std::string::npos) {
      continue;
    }
    std::string line = value.empty() ? name + ";" : name + ": " + value;
    headers_ = curl_slist_append(headers_, line.c_str());
  }
  headers_ = curl_slist_append(headers_, "Expect:");
  curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headers_);
  if (!ok) reset();
  return ok;
}

void EasyHandle::reset() {
  if (easy_) curl_easy_cleanup(easy_);
  easy_ = nullptr;
  if (headers_) curl_slist_free_all(headers_);
  headers_ = nullptr;
}

void HopReader::attach(CURL* easy) {
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &HopReader::headerCallback);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &HopReader::writeCallback);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &HopReader::progressCallback);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
}

void HopReader::resetHop() {
  headComplete_ = false;
  status_ = 0;
  headers_ = HTTPHeaderFields();
  lastHeader_.clear();
  lastDown_ = 0;
  lastUp_ = 0;
  bodyBytes_ = 0;
  exceeded_ = false;
}

bool HopReader::isRedirect() const {
  return headComplete_ && isFollowedRedirect(status_) && headers_.contains("Location");
}

void HopReader::headerLine(std::string_view line) {
  if (line.substr(0, 5) == "HTTP/") {
    // A new head (after 1xx answers the final one follows).
    headComplete_ = false;
    headers_ = HTTPHeaderFields();
    lastHeader_.clear();
    size_t space = line.find(' ');
    status_ = 0;
    if (space != std::string_view::npos) {
      // A status has three digits: a longer run is no status at all (and would overflow).
      size_t digits = 0;
      for (size_t i = space + 1; i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])); ++i) {
        if (++digits > 3) break;
        status_ = status_ * 10 + (line[i] - '0');
      }
      if (digits != 3) status_ = 0;
    }
    return;
  }
  if (headComplete_) return;  // trailers of a chunked body
  std::string_view content = trim(line);
  if (content.empty()) {
    if (status_ >= 200 || status_ == 0) {
      headComplete_ = true;
      if (!isRedirect() && declaresMoreThanCap()) {
        exceeded_ = true;
        return;
      }
      onHead();
    }
    return;
  }
  if ((line.front() == ' ' || line.front() == '\t') && !lastHeader_.empty()) {
    std::string joined = headers_.value(lastHeader_).value_or("");
    joined.append(" ").append(content);
    headers_.set(lastHeader_, std::move(joined));
    return;
  }
  size_t colon = content.find(':');
  if (colon == std::string_view::npos || colon == 0) return;
  lastHeader_ = std::string(trim(content.substr(0, colon)));
  headers_.add(lastHeader_, trim(content.substr(colon + 1)));
}

bool HopReader::declaresMoreThanCap() const {
  if (!cap_) return false;
  long long declared = HTTPURLResponse("", status_, headers_).expectedContentLength();
  return declared >= 0 && static_cast<uint64_t>(declared) > *cap_;
}

// Returning less than was handed over makes libcurl end the transfer (CURLE_WRITE_ERROR),
// so an answer over the cap stops at once instead of being read to its end.
size_t HopReader::headerCallback(char* data, size_t size, size_t count, void* user) {
  auto* self = static_cast<HopReader*>(user);
  self->onActivity();
  self->headerLine(std::string_view(data, size * count));
  return self->exceeded_ ? 0 : size * count;
}

size_t HopReader::writeCallback(char* data, size_t size, size_t count, void* user) {
  auto* self = static_cast<HopReader*>(user);
  const size_t length = size * count;
  self->onActivity();
  if (self->isRedirect()) return length;
  self->bodyBytes_ += length;
  if (self->cap_ && self->bodyBytes_ > *self->cap_) {
    self->exceeded_ = true;
    return 0;
  }
  self->onBody(data, length);
  return length;
}

int HopReader::progressCallback(void* user, curl_off_t, curl_off_t dlnow, curl_off_t,
                                curl_off_t ulnow) {
  auto* self = static_cast<HopReader*>(user);
  if (dlnow != self->lastDown_ || ulnow != self->lastUp_) {
    self->lastDown_ = dlnow;
    self->lastUp_ = ulnow;
    self->onActivity();
  }
  return 0;
}

}  // namespace platform::net
