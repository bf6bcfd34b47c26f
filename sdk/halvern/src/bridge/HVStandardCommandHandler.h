#pragma once
// "BridgeLib": what every Halvern page carries: files under the client's folder, downloads
// with optional unzipping, the settings table and raw SQL, reachability, a few controller
// properties, and the bridge's execution mode.
//
// Page paths are taken relative to Documents and must lie inside the client's folder
// (Documents/HV); anything else is refused, so a page can neither read nor remove what
// belongs to the application.
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "HVCommandHandler.h"
#include "HVDownloadConnection.h"

namespace halvern {

class HVStandardCommandHandler final : public HVCommandHandler, public HVDownloadConnectionDelegate {
 public:
  static constexpr const char* kTransitZipName = "temp.zip";

  HVStandardCommandHandler();
  ~HVStandardCommandHandler() override;

  std::string bridgeScript() override;
  // The absolute path of a page's relative path, or nullopt when it leaves Documents/HV.
  static std::optional<std::string> confinedPagePath(const std::string& relative);
  // The controller properties a page may set, and those it may read.
  static bool isSettableControllerProperty(const std::string& key);
  static bool isReadableControllerProperty(const std::string& key);

  void downloadSucceeded(const std::shared_ptr<HVDownloadConnection>& connection) override;
  void downloadFailed(const std::shared_ptr<HVDownloadConnection>& connection) override;
  void downloadTimedOut(const std::shared_ptr<HVDownloadConnection>& connection) override;

  size_t activeDownloadsForTesting() const { return m_downloads.size(); }

 private:
  // Without a path the body goes to the transit zip and is unzipped into `unzipTo`.
  void download(const std::string& url, const std::optional<std::string>& path,
                const std::optional<std::string>& unzipTo, const platform::Value& callback);
  void sendToPage(const std::string& script);
  void writeFile(const std::string& relativePath, platform::Bytes bytes);

  std::set<std::shared_ptr<HVDownloadConnection>> m_downloads;
};

}  // namespace halvern
