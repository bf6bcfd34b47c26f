#include "KvClientIdFile.h"

#include "platform/file_manager.h"
#include "platform/log.h"
#include "platform/sandbox.h"

namespace kelvane {

std::string KvClientIdFile::path() {
  return platform::FileManager::stringByAppendingPathComponent(platform::Sandbox::applicationSupport(), "cid.txt");
}

bool KvClientIdFile::isKeptId(std::string_view text) {
  if (text.empty() || text.size() > kMaximumLength) return false;
  for (unsigned char c : text)
    if (c < 0x20 || c > 0x7e) return false;
  return true;
}

std::optional<std::string> KvClientIdFile::read() {
  auto text = platform::FileManager::stringContentsAtPath(path());
  if (!text || text->empty()) return std::nullopt;
  if (!isKeptId(*text)) {
    platform::log("Kelvane: the stored client id is not printable ASCII of an id's length; it is not sent");
    return std::nullopt;
  }
  return text;
}

bool KvClientIdFile::write(const std::string& cid) {
  if (!isKeptId(cid)) {
    platform::log("Kelvane: the page's client id is not printable ASCII of an id's length; the stored one is kept");
    return false;
  }
  // The folder is not there on a first launch of some installs.
  platform::FileManager::createDirectoryAtPath(platform::Sandbox::applicationSupport(), true);
  if (!platform::FileManager::writeAtomically(path(), std::string_view(cid))) {
    platform::log("Kelvane: the client id could not be written");
    return false;
  }
  return true;
}

}  // namespace kelvane
