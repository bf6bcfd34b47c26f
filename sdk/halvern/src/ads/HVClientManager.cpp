#include "HVClientManager.h"

#include "platform/log.h"

#include <cerrno>
#include <cstdlib>

#include "HVAsyncCommand.h"
#include "HVClientDriver.h"
#include "HVController.h"
#include "platform/file_manager.h"
#include "platform/url.h"

namespace halvern {

namespace {

using platform::FileManager;
using platform::Value;

std::string componentFileName(const std::string& component) { return component + ".js"; }

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1)
    parts.push_back(text.substr(start, at - start));
  parts.push_back(text.substr(start));
  return parts;
}

}  // namespace

std::shared_ptr<HVClientManager> HVClientManager::create() {
  auto manager = std::make_shared<HVClientManager>(platform::Passkey<HVClientManager>());
  manager->m_clientDriver = HVClientDriver::create(manager);
  std::weak_ptr<HVClientDriver> driver = manager->m_clientDriver;
  manager->setClientDriverHooks(
      [driver] {
        if (auto d = driver.lock()) d->startup();
      },
      [driver] {
        if (auto d = driver.lock()) d->shutdown();
      });
  manager->synchronizeWithFileSystem();
  return manager;
}

HVClientManager::HVClientManager(platform::Passkey<HVClientManager>) {}

void HVClientManager::setClientDriverHooks(std::function<void()> startup, std::function<void()> shutdown) {
  m_driverStartup = std::move(startup);
  m_driverShutdown = std::move(shutdown);
}

void HVClientManager::startDriver() {
  if (!hasClient()) return;
  m_driverStarted = true;
  if (m_driverStartup) m_driverStartup();
}

void HVClientManager::startup() {
  startDriver();
  synchronizeWithServer();
}

void HVClientManager::shutdown() {
  if (m_connection) m_connection->cancel();
  m_connection.reset();
  if (m_driverStarted && m_driverShutdown) m_driverShutdown();
  m_driverStarted = false;
}

void HVClientManager::setClientVersion(const std::optional<std::string>& version) {
  m_clientVersion = version ? *version : kNoClient;
}

std::string HVClientManager::clientRootDir() {
  return FileManager::stringByAppendingPathComponent(HVController::hvBaseDir(), "Config");
}

std::optional<std::string> HVClientManager::pathForComponent(const std::string& component) const {
  for (const auto& known : m_clientComponents)
    if (known == component) return FileManager::stringByAppendingPathComponent(clientRootDir(), componentFileName(component));
  return std::nullopt;
}

std::string HVClientManager::reqJSURL() const {
  auto controller = HVController::sharedController();
  // Each value is escaped: a name with "&" or "#" would otherwise change the request.
  using platform::escapeQueryComponent;
  return controller->serverURL() + "/v2/req_js.json?appguid=" + escapeQueryComponent(controller->applicationID()) +
         "&deviceid=" + escapeQueryComponent(HVController::deviceName()) +
         "&userid=" + escapeQueryComponent(HVController::deviceUID()) +
         "&hostversion=" + escapeQueryComponent(HVController::hvSDKVersion()) +
         "&clientversion=" + escapeQueryComponent(m_clientVersion);
}

int64_t HVClientManager::timestampFromClientDirName(const std::string& name) {
  const auto parts = split(name, '_');
  if (parts.size() != 2 || parts[0].empty()) return -1;
  for (char c : parts[0])
    if (c < '0' || c > '9') return -1;
  errno = 0;
  const long long value = std::strtoll(parts[0].c_str(), nullptr, 10);
  if (errno == ERANGE || value <= 0) return -1;
  return value;
}

std::optional<std::string> HVClientManager::clientVersionFromClientDirName(const std::string& name) {
  const size_t at = name.find('_');
  if (at == std::string::npos) return std::nullopt;
  return name.substr(at + 1);
}

bool HVClientManager::isAcceptableClientVersion(const std::string& version) {
  if (version.empty() || version.size() > 64 || version == kNoClient || version == "." || version == "..") return false;
  for (char c : version) {
    const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' ||
                    c == '-' || c == '+';
    if (!ok) return false;
  }
  return true;
}

void HVClientManager::synchronizeWithServer() {
  auto url = platform::URL::create(reqJSURL());
  if (!url) return;
  platform::URLRequest request(url->absoluteString());
  request.setHTTPMethod("GET");
  request.setValueForHTTPHeaderField("gzip", "Accept-Encoding");
  if (m_connection) m_connection->cancel();
  m_connection = HVDownloadConnection::timedConnectionWithURLRequestDelegateUserDataTimeoutRetries(
      request, weak_from_this(), Value(), hasClient() ? kUpdateTimeout : kFirstClientTimeout, kUpdateRetries);
}

void HVClientManager::downloadSucceeded(const std::shared_ptr<HVDownloadConnection>& connection) {
  auto self = shared_from_this();
  if (connection == m_connection) m_connection.reset();
  const auto& body = connection->receivedData();
  // The text ends at the first NUL, as a C string read would.
  std::string text(body.begin(), body.end());
  text = text.substr(0, text.find('\0'));
  HVController::sharedController()->ioRequestManager()->sendAsyncCommand(
      HVJSONCommand::jsonCommandWithTypeInputCallbackContext(
          HVJSONCommand::kDecode, Value(std::move(text)),
          HVCallbackContext::contextWithCallbackTargetCallbackSelectorPassResults(
              self, &HVClientManager::synchronizeWithServerCallback, true)));
}

void HVClientManager::downloadFailed(const std::shared_ptr<HVDownloadConnection>& connection) {
  if (connection == m_connection) m_connection.reset();
}

void HVClientManager::downloadTimedOut(const std::shared_ptr<HVDownloadConnection>& connection) {
  if (connection == m_connection) m_connection.reset();
}

void HVClientManager::synchronizeWithServerCallback(const HVCommandResult& result) {
  // An answer the client cannot take leaves the installed client as it is.
  auto refuse = [](const std::string& why) {
    platform::log("HVClientManager: ignoring the update answer: " + why + ".");
  };
  if (!result.succeeded || !result.value || !result.value->isDictionary())
    return refuse(result.succeeded ? "it is no JSON object" : "it is no JSON (" + result.errorMessage + ")");
  const auto& reply = result.value->dictionary();
  const Value& status = reply.get("status");
  // A container is not described: its description indents every level anew, so a deep
  // answer would make a log line hundreds of times its own size.
  if (!status.isString() || status.string() != "AllOkay")
    return refuse(status.isArray() || status.isDictionary() ? "its status is no text"
                                                            : "its status is " + status.description());
  const Value& content = reply.get("content");
  const Value clientResponse = content.isDictionary() ? content.dictionary().get("clientResponse") : Value();
  if (!clientResponse.isDictionary()) return refuse("it holds no client response");
  const auto& response = clientResponse.dictionary();

  auto controller = HVController::sharedController();
  const bool isDisabled = response.get("isDisabled").boolValue();
  if (isDisabled != controller->disabled()) {
    // Takes effect at the next launch, when the controller reads its settings.
    controller->dbQueryManager()->sendAsyncCommand(HVDBQuery::queryWithQueryCallbackContext(
        controller->database(), "INSERT OR REPLACE INTO settings (id, data) VALUES(?, ?)",
        platform::Array{Value("disabled"), Value(static_cast<int64_t>(isDisabled ? 1 : 0))}, nullptr));
  }
  const Value& source = response.get("source");
  if (!source.isDictionary() || source.dictionary().empty()) return;
  const Value& version = response.get("clientVersion");
  if (!version.isString() || version.string() == m_clientVersion) return;
  // The version names a folder on disk.
  if (!isAcceptableClientVersion(version.string())) return refuse("the version " + version.string() + " names no folder");
  for (const auto& component : m_clientComponents)
    if (!source.dictionary().get(component).isString()) return refuse("the component " + component + " is missing");
  flushUpdateUsingResponse(clientResponse);
}

void HVClientManager::flushUpdateUsingResponse(const Value& clientResponse) {
  const std::string folder = FileManager::stringByAppendingPathComponent(
      clientRootDir(), std::to_string(HVController::sessionStart()) + "_" +
                           clientResponse.dictionary().get("clientVersion").string());
  FileManager::createDirectoryAtPath(folder, true);
  writeComponent(clientResponse, folder, 0);
}

void HVClientManager::writeComponent(const Value& clientResponse, const std::string& newClientDir, size_t index) {
  const std::string& script = clientResponse.dictionary().get("source").dictionary().get(m_clientComponents[index]).string();
  std::weak_ptr<HVClientManager> weak = weak_from_this();
  auto context = HVCallbackContext::contextWithCallbackInvocationPassResults(
      [weak, clientResponse, newClientDir, index](const HVCommandResult& result) {
        if (auto self = weak.lock())
          self->flushUpdateUsingResponseCallbackNewClientDirComponentIndex(clientResponse, newClientDir, index,
                                                                           result.succeeded);
      },
      false);
  HVController::sharedController()->ioRequestManager()->sendAsyncCommand(
      HVIOWriteRequest::requestWithPathDataAppendCallbackContext(
          FileManager::stringByAppendingPathComponent(newClientDir, componentFileName(m_clientComponents[index])),
          platform::Bytes(script.begin(), script.end()), false, context));
}

void HVClientManager::flushUpdateUsingResponseCallbackNewClientDirComponentIndex(const Value& clientResponse,
                                                                                 const std::string& newClientDir,
                                                                                 size_t index, bool written) {
  // A folder with a missing component is never linked; the next launch asks again.
  if (!written) return;
  if (index + 1 < m_clientComponents.size()) {
    writeComponent(clientResponse, newClientDir, index + 1);
    return;
  }
  if (!hasClient() && !linkComponentsTo(FileManager::lastPathComponent(newClientDir))) return;
  didUpdateUsingResponse(clientResponse);
}

bool HVClientManager::linkComponentsTo(const std::string& folderName) {
  const std::string root = clientRootDir();
  bool linked = true;
  for (const auto& component : m_clientComponents) {
    const std::string link = FileManager::stringByAppendingPathComponent(root, componentFileName(component));
    // Links left by an earlier, broken install would otherwise stay in the way.
    if (FileManager::isSymbolicLink(link)) FileManager::removeItemAtPath(link);
    linked = FileManager::createSymbolicLinkAtPath(link, folderName + "/" + componentFileName(component)) &&
             FileManager::fileExistsAtPath(link) && linked;
  }
  if (linked) return true;
  for (const auto& component : m_clientComponents) {
    const std::string link = FileManager::stringByAppendingPathComponent(root, componentFileName(component));
    if (FileManager::isSymbolicLink(link)) FileManager::removeItemAtPath(link);
  }
  return false;
}

void HVClientManager::didUpdateUsingResponse(const Value& clientResponse) {
  if (hasClient()) return;  // the new folder waits for the next launch
  m_clientVersion = clientResponse.dictionary().get("clientVersion").string();
  startDriver();
}

void HVClientManager::synchronizeWithFileSystem() {
  const std::string root = clientRootDir();
  int64_t current = -1;
  std::string currentFolder;
  bool complete = true;
  for (const auto& component : m_clientComponents) {
    const std::string link = FileManager::stringByAppendingPathComponent(root, componentFileName(component));
    auto destination = FileManager::destinationOfSymbolicLinkAtPath(link);
    if (!FileManager::fileExistsAtPath(link) || !destination) {
      complete = false;
      continue;
    }
    const auto parts = split(*destination, '/');
    const std::string folder = parts.size() >= 2 ? parts[parts.size() - 2] : std::string();
    const int64_t timestamp = timestampFromClientDirName(folder);
    if (timestamp != -1 && (current <= 0 || timestamp == current)) {
      current = timestamp;
      currentFolder = folder;
    } else {
      complete = false;  // a link into another folder than the others
    }
  }
  // Only a client whose every component is linked into one folder is installed.
  if (!complete || current <= 0) {
    m_clientVersion = kNoClient;
    return;
  }
  int64_t best = current;
  std::string bestFolder = currentFolder;
  const int64_t sessionStart = HVController::sessionStart();
  const auto entries = FileManager::contentsOfDirectoryAtPath(root).value_or(std::vector<std::string>{});
  for (const auto& entry : entries) {
    const std::string path = FileManager::stringByAppendingPathComponent(root, entry);
    if (FileManager::isSymbolicLink(path) || !FileManager::isDirectory(path)) continue;
    bool whole = true;
    for (const auto& component : m_clientComponents)
      whole = whole && FileManager::fileExistsAtPath(FileManager::stringByAppendingPathComponent(path, componentFileName(component)));
    const int64_t timestamp = timestampFromClientDirName(entry);
    if (whole && best < timestamp && timestamp < sessionStart &&
        isAcceptableClientVersion(clientVersionFromClientDirName(entry).value_or(""))) {
      best = timestamp;
      bestFolder = entry;
    }
  }
  if (best > current) {
    if (linkComponentsTo(bestFolder)) {
      for (const auto& entry : entries) {
        const std::string path = FileManager::stringByAppendingPathComponent(root, entry);
        if (entry != bestFolder && !FileManager::isSymbolicLink(path) && FileManager::isDirectory(path))
          FileManager::removeItemAtPath(path);
      }
    } else if (linkComponentsTo(currentFolder)) {
      bestFolder = currentFolder;
    } else {
      m_clientVersion = kNoClient;
      return;
    }
  }
  setClientVersion(clientVersionFromClientDirName(bestFolder));
}

}  // namespace halvern
