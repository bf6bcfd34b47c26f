#pragma once
// Keeps the downloaded client (its "display" and "driver" scripts) on disk and current. At
// launch the installed version is found through one link per component in "Config",
// adopting a newer folder written in an earlier launch; after start-up the server is asked
// for the current client, and a different version is written into a folder of its own. A
// first client is linked and started at once; a later one waits for the next launch.
//
// A client counts as installed only when every component's link reaches a file in one and
// the same folder, and links are made only once every component is written, so an
// interrupted install never leaves a client half there. Main thread only.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "HVCallbackContext.h"
#include "HVDownloadConnection.h"
#include "platform/passkey.h"

namespace halvern {

class HVClientDriver;

class HVClientManager : public HVDownloadConnectionDelegate, public std::enable_shared_from_this<HVClientManager> {
 public:
  static constexpr const char* kNoClient = "0.0";
  static constexpr double kFirstClientTimeout = 80.0;
  static constexpr double kUpdateTimeout = 40.0;
  static constexpr int kUpdateRetries = 3;

  // Reads the installed client from the file system.
  static std::shared_ptr<HVClientManager> create();
  explicit HVClientManager(platform::Passkey<HVClientManager>);

  // Starts the driver when a client is installed, then asks the server.
  void startup();
  void shutdown();
  bool hasClient() const { return m_clientVersion != kNoClient; }
  const std::string& clientVersion() const { return m_clientVersion; }
  void setClientVersion(const std::optional<std::string>& version);
  const std::vector<std::string>& clientComponents() const { return m_clientComponents; }
  const std::shared_ptr<HVClientDriver>& clientDriver() const { return m_clientDriver; }
  // The client driver's start and stop; the driver made with the manager installs them.
  void setClientDriverHooks(std::function<void()> startup, std::function<void()> shutdown);

  static std::string clientRootDir();
  std::optional<std::string> pathForComponent(const std::string& component) const;
  std::string reqJSURL() const;

  void synchronizeWithServer();
  // Whether the update request is still under way.
  bool isSynchronizingForTesting() const { return m_connection != nullptr; }
  void synchronizeWithServerCallback(const HVCommandResult& result);
  void synchronizeWithFileSystem();

  static int64_t timestampFromClientDirName(const std::string& name);
  static std::optional<std::string> clientVersionFromClientDirName(const std::string& name);
  // A server version may name a folder: plain letters, digits, ".", "-" and "+", not "0.0".
  static bool isAcceptableClientVersion(const std::string& version);

  void downloadSucceeded(const std::shared_ptr<HVDownloadConnection>& connection) override;
  void downloadFailed(const std::shared_ptr<HVDownloadConnection>& connection) override;
  void downloadTimedOut(const std::shared_ptr<HVDownloadConnection>& connection) override;

 private:
  void flushUpdateUsingResponse(const platform::Value& clientResponse);
  void flushUpdateUsingResponseCallbackNewClientDirComponentIndex(const platform::Value& clientResponse,
                                                                   const std::string& newClientDir, size_t index,
                                                                   bool written);
  void writeComponent(const platform::Value& clientResponse, const std::string& newClientDir, size_t index);
  void didUpdateUsingResponse(const platform::Value& clientResponse);
  // Points every component's link into `folderName`; false (and no links) unless all are made.
  bool linkComponentsTo(const std::string& folderName);
  void startDriver();

  std::string m_clientVersion = kNoClient;
  std::vector<std::string> m_clientComponents{"display", "driver"};
  std::shared_ptr<HVClientDriver> m_clientDriver;
  std::function<void()> m_driverStartup;
  std::function<void()> m_driverShutdown;
  std::shared_ptr<HVDownloadConnection> m_connection;
  bool m_driverStarted = false;
};

}  // namespace halvern
