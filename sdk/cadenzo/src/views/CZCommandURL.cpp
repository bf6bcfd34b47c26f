#include "CZCommandURL.h"

#include "platform/bundle.h"
#include "platform/file_manager.h"
#include "platform/url.h"

namespace cadenzo {

std::vector<std::string> CZSplitAtSlashes(const std::string& text) {
  std::vector<std::string> pieces;
  size_t start = 0;
  for (;;) {
    size_t slash = text.find('/', start);
    pieces.push_back(text.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
    if (slash == std::string::npos) return pieces;
    start = slash + 1;
  }
}

std::string CZSchemeOf(const std::string& url) {
  if (auto parsed = platform::URL::create(url)) return parsed->scheme().value_or("");
  size_t colon = url.find(':');
  return colon == std::string::npos ? "" : url.substr(0, colon);
}

bool CZIsFileURLOutsideBundle(const std::string& url) {
  auto parsed = platform::URL::create(url);
  if (!parsed) return CZSchemeOf(url) == "file";
  if (!parsed->isFileURL()) return false;
  const std::string root = platform::FileManager::stringByStandardizingPath(platform::Bundle::mainBundle().bundlePath());
  const std::string path = parsed->path();
  if (path == root) return false;
  if (path.size() <= root.size() + 1 || path.compare(0, root.size(), root) != 0 || path[root.size()] != '/')
    return true;
  return !platform::FileManager::confinedPath(root, std::string_view(path).substr(root.size() + 1));
}

}  // namespace cadenzo
