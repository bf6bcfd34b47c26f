#include "HVZip.h"

#include <minizip/unzip.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/file_manager.h"

namespace halvern {

using platform::FileManager;

namespace {

// Remembers the topmost item each step made, so that a failed package can be taken back.
class Undo {
 public:
  // Call before creating `path` (a file or a folder with its parents).
  void willCreate(const std::string& path) {
    std::string top;
    for (std::string p = path; !p.empty() && p != "/" && !FileManager::itemExistsAtPath(p);
         p = FileManager::stringByDeletingLastPathComponent(p))
      top = p;
    if (!top.empty()) created_.push_back(top);
  }
  void rollBack() {
    for (auto it = created_.rbegin(); it != created_.rend(); ++it) FileManager::removeItemAtPath(*it);
  }

 private:
  std::vector<std::string> created_;
};

struct Archive {
  unzFile handle = nullptr;
  ~Archive() {
    if (handle) unzClose(handle);
  }
};

bool fail(std::string* error, std::string message) {
  if (error) *error = std::move(message);
  return false;
}

// The bytes an entry unpacked so far against what it took in the archive.
bool expandsTooFar(uint64_t unpacked, uint64_t compressed) {
  return unpacked > HVZip::kRatioCheckedBytes && unpacked / HVZip::kMaxCompressionRatio >= std::max<uint64_t>(compressed, 1);
}

// Streams the current entry to `target` through a temporary file beside it.
bool extractEntry(unzFile zip, const unz_file_info64& info, const std::string& target, uint64_t& total,
                  uint64_t maxTotal, std::string* error) {
  if (unzOpenCurrentFile(zip) != UNZ_OK) return fail(error, "cannot open entry");
  const std::string temporary = target + ".hvpart";
  FILE* out = std::fopen(temporary.c_str(), "wb");
  if (!out) {
    unzCloseCurrentFile(zip);
    return fail(error, "cannot create " + target);
  }
  std::vector<char> chunk(HVZip::kChunkSize);
  uLong crc = crc32(0L, Z_NULL, 0);
  uint64_t size = 0;
  bool ok = true;
  std::string why;
  for (;;) {
    const int n = unzReadCurrentFile(zip, chunk.data(), static_cast<unsigned>(chunk.size()));
    if (n < 0) {
      ok = false;
      why = "corrupt data";
      break;
    }
    if (n == 0) break;
    size += static_cast<uint64_t>(n);
    total += static_cast<uint64_t>(n);
    if (total > maxTotal) {
      ok = false;
      why = "package too large";
      break;
    }
    if (expandsTooFar(size, info.compressed_size)) {
      ok = false;
      why = "entry expands too far";
      break;
    }
    crc = crc32(crc, reinterpret_cast<const Bytef*>(chunk.data()), static_cast<uInt>(n));
    if (std::fwrite(chunk.data(), 1, static_cast<size_t>(n), out) != static_cast<size_t>(n)) {
      ok = false;
      why = "cannot write " + target;
      break;
    }
  }
  const int closed = unzCloseCurrentFile(zip);
  if (std::fclose(out) != 0 && ok) {
    ok = false;
    why = "cannot write " + target;
  }
  if (ok && (closed != UNZ_OK || crc != info.crc || size != info.uncompressed_size)) {
    ok = false;
    why = "entry does not match its checksum or size";
  }
  if (ok && !FileManager::moveItemAtPath(temporary, target)) {
    FileManager::removeItemAtPath(target);
    ok = FileManager::moveItemAtPath(temporary, target);
    if (!ok) why = "cannot write " + target;
  }
  if (!ok) {
    FileManager::removeItemAtPath(temporary);
    return fail(error, why);
  }
  return true;
}

}  // namespace

bool HVZip::unzipPackageToPath(const std::string& zipPath, const std::string& destination, std::string* error,
                               uint64_t maxTotalBytes) {
  Undo undo;
  undo.willCreate(destination);
  FileManager::createDirectoryAtPath(destination, true);
  auto failAndUndo = [&](std::string message) {
    undo.rollBack();
    return fail(error, std::move(message));
  };

  Archive archive;
  archive.handle = unzOpen64(zipPath.c_str());
  if (!archive.handle) return failAndUndo("not a zip archive");

  unz_global_info64 global;
  if (unzGetGlobalInfo64(archive.handle, &global) != UNZ_OK) return failAndUndo("corrupt directory");
  if (global.number_entry > kMaxEntries) return failAndUndo("too many entries");

  uint64_t total = 0;
  uint64_t entries = 0;
  int step = unzGoToFirstFile(archive.handle);
  for (; step == UNZ_OK; step = unzGoToNextFile(archive.handle)) {
    // The directory's count may understate what the walk finds.
    if (++entries > kMaxEntries) return failAndUndo("too many entries");
    unz_file_info64 info;
    if (unzGetCurrentFileInfo64(archive.handle, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
      return failAndUndo("corrupt directory");
    // The name is read at its own length, whatever it is.
    std::string name(info.size_filename, '\0');
    if (unzGetCurrentFileInfo64(archive.handle, &info, name.data(), static_cast<uLong>(name.size()), nullptr, 0,
                                nullptr, 0) != UNZ_OK)
      return failAndUndo("corrupt directory");
    const bool isFolder = !name.empty() && name.back() == '/';
    auto target = FileManager::confinedPath(destination, name);
    if (!target) return failAndUndo("entry outside the folder: " + name);
    if (!isFolder && expandsTooFar(info.uncompressed_size, info.compressed_size))
      return failAndUndo(name + ": entry expands too far");
    if (isFolder) {
      undo.willCreate(*target);
      if (!FileManager::createDirectoryAtPath(*target, true)) return failAndUndo("cannot create " + name);
      continue;
    }
    const std::string parent = FileManager::stringByDeletingLastPathComponent(*target);
    undo.willCreate(parent);
    if (!FileManager::createDirectoryAtPath(parent, true)) return failAndUndo("cannot create " + name);
    undo.willCreate(*target);
    std::string why;
    if (!extractEntry(archive.handle, info, *target, total, maxTotalBytes, &why))
      return failAndUndo(name + ": " + why);
  }
  if (step != UNZ_END_OF_LIST_OF_FILE) return failAndUndo("corrupt directory");
  return true;
}

}  // namespace halvern
