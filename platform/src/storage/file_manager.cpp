#include "platform/file_manager.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <set>

namespace platform {
namespace {

// Splits on '/', dropping empty components.
std::vector<std::string_view> splitComponents(std::string_view path) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::string_view stripTrailingSlashes(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  return path;
}

// The temporaries of atomic writes: ".<name>.tmp-<pid>-XXXXXX". Only that exact form is
// ever taken for one: a file the application named alike (".notes.tmp-backup") is data.
struct Temporaries {
  std::mutex mutex;
  std::set<std::string> inFlight;  // this process's, by path
  std::set<std::string> sweptFolders;
};

Temporaries& temporaries() {
  static auto* t = new Temporaries;  // writers on other threads may outlive static destruction
  return *t;
}

bool isTemporarySuffix(std::string_view s) {
  return s.size() == 6 && std::all_of(s.begin(), s.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
}

// The writer's process of a temporary's name, or nullopt for a name that is no temporary of
// ours (data, whatever it looks like otherwise): the process id as the writer prints it, no
// sign, no leading zero, and no larger than the system ever hands out.
std::optional<long> temporaryWriter(std::string_view name) {
  constexpr long kLargestProcessId = 4194304;  // the kernel's limit on any configuration
  size_t mark = name.rfind(".tmp-");
  if (name.size() < 2 || name[0] != '.' || mark == std::string_view::npos || mark < 2) return std::nullopt;
  std::string_view rest = name.substr(mark + 5);
  size_t dash = rest.find('-');
  if (dash == 0 || dash == std::string_view::npos || dash > 7 || rest[0] == '0' ||
      !isTemporarySuffix(rest.substr(dash + 1)))
    return std::nullopt;
  long pid = 0;
  for (char c : rest.substr(0, dash)) {
    if (c < '0' || c > '9') return std::nullopt;
    pid = pid * 10 + (c - '0');
  }
  return pid <= kLargestProcessId ? std::optional<long>(pid) : std::nullopt;
}

// Caller holds the temporaries' mutex, so none of this process's writes starts or ends meanwhile.
size_t removeAbandonedLocked(Temporaries& t, const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return 0;
  std::vector<std::string> abandoned;
  const long self = static_cast<long>(::getpid());
  while (dirent* entry = ::readdir(dir)) {
    auto writer = temporaryWriter(entry->d_name);
    if (!writer) continue;
    std::string path = folder + "/" + entry->d_name;
    bool gone;
    if (*writer == self) {
      gone = !t.inFlight.count(path);  // an earlier process that had our number
    } else {
      gone = ::kill(static_cast<pid_t>(*writer), 0) != 0 && errno == ESRCH;
    }
    if (gone) abandoned.push_back(std::move(path));
  }
  ::closedir(dir);
  size_t removed = 0;
  for (const auto& path : abandoned) {
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::unlink(path.c_str()) == 0) ++removed;
  }
  return removed;
}

bool writeAll(int fd, const void* data, size_t size) {
  auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    ssize_t n = ::write(fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Preserves errno across cleanup calls, so callers see the first failure.
struct ErrnoKeeper {
  int saved = errno;
  ~ErrnoKeeper() { errno = saved; }
};

bool removeRecursively(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode)) return ::unlink(path.c_str()) == 0;
  auto names = FileManager::contentsOfDirectoryAtPath(path);
  if (!names) return false;
  for (const auto& name : *names) {
    if (!removeRecursively(path + "/" + name)) return false;
  }
  return ::rmdir(path.c_str()) == 0;
}

bool copyFileContents(const std::string& from, const std::string& to, mode_t mode) {
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode & 07777);
  if (out < 0) {
    ErrnoKeeper keep;
    ::close(in);
    return false;
  }
  char buffer[64 * 1024];
  bool ok = true;
  for (;;) {
    ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    if (!writeAll(out, buffer, static_cast<size_t>(n))) {
      ok = false;
      break;
    }
  }
  ErrnoKeeper keep;
  ::close(in);
  if (::close(out) != 0) ok = false;
  if (!ok) ::unlink(to.c_str());
  return ok;
}

bool copyRecursively(const std::string& from, const std::string& to) {
  struct stat st;
  if (::lstat(from.c_str(), &st) != 0) return false;
  if (S_ISLNK(st.st_mode)) {
    auto target = FileManager::destinationOfSymbolicLinkAtPath(from);
    return target && ::symlink(target->c_str(), to.c_str()) == 0;
  }
  if (S_ISDIR(st.st_mode)) {
    if (::mkdir(to.c_str(), (st.st_mode & 07777) | S_IRWXU) != 0) return false;
    auto names = FileManager::contentsOfDirectoryAtPath(from);
    if (!names) return false;
    for (const auto& name : *names) {
      if (!copyRecursively(from + "/" + name, to + "/" + name)) return false;
    }
    return true;
  }
  if (S_ISREG(st.st_mode)) return copyFileContents(from, to, st.st_mode);
  errno = ENOTSUP;
  return false;
}

std::optional<std::string> realPath(const std::string& path) {
  char buffer[PATH_MAX];
  if (::realpath(path.c_str(), buffer) == nullptr) return std::nullopt;
  return std::string(buffer);
}

bool isWithin(const std::string& path, const std::string& root) {
  if (root == "/") return true;
  return path == root || (path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
                          path[root.size()] == '/');
}

}  // namespace

bool FileManager::fileExistsAtPath(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

bool FileManager::fileExistsAtPathIsDirectory(const std::string& path, bool* isDirectory) {
  struct stat st;
  bool exists = ::stat(path.c_str(), &st) == 0;
  if (isDirectory) *isDirectory = exists && S_ISDIR(st.st_mode);
  return exists;
}

bool FileManager::itemExistsAtPath(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

bool FileManager::isDirectory(const std::string& path) {
  bool dir = false;
  return fileExistsAtPathIsDirectory(path, &dir) && dir;
}

bool FileManager::isSymbolicLink(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool FileManager::createDirectoryAtPath(const std::string& path, bool intermediates) {
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  if (!intermediates) return ::mkdir(path.c_str(), 0755) == 0;
  if (isDirectory(path)) return true;
  std::string parent = stringByDeletingLastPathComponent(path);
  if (!parent.empty() && parent != path && !isDirectory(parent) &&
      !createDirectoryAtPath(parent, true)) {
    return false;
  }
  if (::mkdir(path.c_str(), 0755) == 0) return true;
  // Another thread may have made it meanwhile.
  return errno == EEXIST && isDirectory(path);
}

bool FileManager::removeItemAtPath(const std::string& path) {
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  // "link/" or "link/." would make the system follow the link, and the removal would empty
  // the folder it points to: the item named is the link itself.
  std::string_view item = stripTrailingSlashes(path);
  while (item.size() > 2 && item.substr(item.size() - 2) == "/.") {
    item = stripTrailingSlashes(item.substr(0, item.size() - 2));
  }
  return removeRecursively(std::string(item));
}

std::optional<std::vector<std::string>> FileManager::contentsOfDirectoryAtPath(const std::string& path) {
  DIR* dir = ::opendir(path.c_str());
  if (!dir) return std::nullopt;
  std::vector<std::string> names;
  while (dirent* entry = ::readdir(dir)) {
    std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    names.emplace_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

bool FileManager::moveItemAtPath(const std::string& from, const std::string& to) {
  if (!itemExistsAtPath(from)) return false;
  if (itemExistsAtPath(to)) {
    errno = EEXIST;
    return false;
  }
  if (::rename(from.c_str(), to.c_str()) == 0) return true;
  if (errno != EXDEV) return false;
  if (!copyRecursively(from, to)) {
    ErrnoKeeper keep;
    removeRecursively(to);
    return false;
  }
  return removeRecursively(from);
}

bool FileManager::copyItemAtPath(const std::string& from, const std::string& to) {
  if (itemExistsAtPath(to)) {
    errno = EEXIST;
    return false;
  }
  if (copyRecursively(from, to)) return true;
  ErrnoKeeper keep;
  if (itemExistsAtPath(to)) removeRecursively(to);
  return false;
}

std::optional<Bytes> FileManager::contentsAtPath(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st;
  const bool statted = ::fstat(fd, &st) == 0;
  if (!statted || S_ISDIR(st.st_mode)) {
    if (statted) errno = EISDIR;
    ErrnoKeeper keep;
    ::close(fd);
    return std::nullopt;
  }
  Bytes data;
  data.reserve(static_cast<size_t>(st.st_size));
  uint8_t buffer[64 * 1024];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ErrnoKeeper keep;
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    data.insert(data.end(), buffer, buffer + n);
  }
  ::close(fd);
  return data;
}

std::optional<std::string> FileManager::stringContentsAtPath(const std::string& path) {
  auto data = contentsAtPath(path);
  if (!data) return std::nullopt;
  return std::string(data->begin(), data->end());
}

bool FileManager::writeAtomically(const std::string& path, const void* data, size_t size) {
  std::string name = lastPathComponent(path);
  if (path.empty() || name == "/" || name == "." || name == "..") {
    errno = EINVAL;
    return false;
  }
  std::string folder = path.find('/') == std::string::npos ? std::string(".")
                                                          : stringByDeletingLastPathComponent(path);
  // The temporary's name must fit wherever the final one does: a long name is shortened.
  constexpr size_t kTempExtra = sizeof(".") + sizeof(".tmp-4294967295-XXXXXX");
  std::string stem = name.substr(0, std::min(name.size(), size_t{NAME_MAX} - kTempExtra));
  std::string temp = stringByAppendingPathComponent(
      folder, "." + stem + ".tmp-" + std::to_string(::getpid()) + "-XXXXXX");
  auto& temps = temporaries();
  int fd;
  {
    // A writer killed between its temporary and the rename leaves the temporary for good:
    // the first write into a folder clears what earlier processes left there.
    std::lock_guard<std::mutex> lock(temps.mutex);
    if (temps.sweptFolders.insert(folder).second) removeAbandonedLocked(temps, folder);
    fd = ::mkstemp(temp.data());
    if (fd < 0) return false;
    temps.inFlight.insert(temp);
  }
  struct Landed {
    Temporaries& temps;
    const std::string& temp;
    ~Landed() {
      std::lock_guard<std::mutex> lock(temps.mutex);
      temps.inFlight.erase(temp);
    }
  } landed{temps, temp};
  // Keep the permissions of the file being replaced; a new file gets the usual ones.
  mode_t mode = 0644;
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) mode = st.st_mode & 07777;
  bool ok = writeAll(fd, data, size) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
  ErrnoKeeper keepWriteError;
  if (::close(fd) != 0 && ok) {
    ok = false;
    keepWriteError.saved = errno;
  }
  if (ok && ::rename(temp.c_str(), path.c_str()) == 0) return true;
  if (ok) keepWriteError.saved = errno;
  ::unlink(temp.c_str());
  return false;
}

size_t FileManager::removeAbandonedTemporaryFilesAtPath(const std::string& folder) {
  auto& temps = temporaries();
  std::lock_guard<std::mutex> lock(temps.mutex);
  return removeAbandonedLocked(temps, folder);
}

bool FileManager::writeAtomically(const std::string& path, const Bytes& data) {
  return writeAtomically(path, data.data(), data.size());
}

bool FileManager::writeAtomically(const std::string& path, std::string_view text) {
  return writeAtomically(path, text.data(), text.size());
}

bool FileManager::appendToFile(const std::string& path, const void* data, size_t size) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = writeAll(fd, data, size);
  ErrnoKeeper keep;
  if (::close(fd) != 0 && ok) {
    ok = false;
    keep.saved = errno;
  }
  return ok;
}

bool FileManager::appendToFile(const std::string& path, std::string_view text) {
  return appendToFile(path, text.data(), text.size());
}

std::optional<uint64_t> FileManager::fileSize(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return static_cast<uint64_t>(st.st_size);
}

std::optional<double> FileManager::modificationDate(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return static_cast<double>(st.st_mtim.tv_sec) + static_cast<double>(st.st_mtim.tv_nsec) / 1e9;
}

namespace {

// Sets one of the two times (0 access, 1 modification) and leaves the other alone.
bool setFileTime(const std::string& path, int which, double since1970) {
  if (!std::isfinite(since1970)) {
    errno = EINVAL;
    return false;
  }
  double whole = std::floor(since1970);
  struct timespec times[2];
  times[1 - which].tv_sec = 0;
  times[1 - which].tv_nsec = UTIME_OMIT;
  times[which].tv_sec = static_cast<time_t>(whole);
  times[which].tv_nsec = std::min(999999999L, static_cast<long>(std::llround((since1970 - whole) * 1e9)));
  return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

}  // namespace

bool FileManager::setModificationDate(const std::string& path, double since1970) {
  return setFileTime(path, 1, since1970);
}

std::optional<double> FileManager::accessDate(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return static_cast<double>(st.st_atim.tv_sec) + static_cast<double>(st.st_atim.tv_nsec) / 1e9;
}

bool FileManager::setAccessDate(const std::string& path, double since1970) {
  return setFileTime(path, 0, since1970);
}

std::optional<double> FileManager::fileSystemSize(const std::string& path) {
  struct statvfs vfs;
  if (::statvfs(path.c_str(), &vfs) != 0) return std::nullopt;
  return static_cast<double>(vfs.f_blocks) * static_cast<double>(vfs.f_frsize);
}

std::string FileManager::displayNameAtPath(const std::string& path) {
  std::string name = lastPathComponent(path);
  if (pathExtension(name) == "app") name = stringByDeletingPathExtension(name);
  return name;
}

bool FileManager::createSymbolicLinkAtPath(const std::string& path, const std::string& destination) {
  return ::symlink(destination.c_str(), path.c_str()) == 0;
}

std::optional<std::string> FileManager::destinationOfSymbolicLinkAtPath(const std::string& path) {
  std::string buffer(256, '\0');
  for (;;) {
    ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size());
    if (n < 0) return std::nullopt;
    if (static_cast<size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<size_t>(n));
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::string FileManager::stringByAppendingPathComponent(std::string_view base, std::string_view component) {
  while (!component.empty() && component.front() == '/') component.remove_prefix(1);
  std::string_view head = stripTrailingSlashes(base);
  if (head.empty()) return std::string(component);
  if (component.empty()) return std::string(head);
  std::string out(head);
  if (out != "/") out += '/';
  out += component;
  return out;
}

std::string FileManager::stringByStandardizingPath(std::string_view path) {
  bool absolute = !path.empty() && path.front() == '/';
  std::vector<std::string_view> kept;
  for (std::string_view part : splitComponents(path)) {
    if (part == ".") continue;
    if (part == "..") {
      if (!kept.empty() && kept.back() != "..") {
        kept.pop_back();
      } else if (!absolute) {
        kept.push_back(part);
      }
      continue;
    }
    kept.push_back(part);
  }
  std::string out = absolute ? "/" : "";
  for (size_t i = 0; i < kept.size(); ++i) {
    if (i > 0) out += '/';
    out += kept[i];
  }
  return out;
}

std::string FileManager::lastPathComponent(std::string_view path) {
  path = stripTrailingSlashes(path);
  if (path == "/") return "/";
  size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string FileManager::pathExtension(std::string_view path) {
  std::string last = lastPathComponent(path);
  size_t dot = last.rfind('.');
  if (dot == std::string::npos || dot == 0) return "";
  return last.substr(dot + 1);
}

std::string FileManager::stringByDeletingLastPathComponent(std::string_view path) {
  path = stripTrailingSlashes(path);
  size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return "";
  if (path == "/") return "/";
  std::string_view head = stripTrailingSlashes(path.substr(0, slash));
  if (head.empty()) return "/";
  return std::string(head);
}

std::string FileManager::stringByDeletingPathExtension(std::string_view path) {
  path = stripTrailingSlashes(path);
  std::string extension = pathExtension(path);
  if (extension.empty()) return std::string(path);
  return std::string(path.substr(0, path.size() - extension.size() - 1));
}

std::optional<std::string> FileManager::confinedPath(const std::string& root, std::string_view relative) {
  if (relative.empty() || relative.front() == '/' || root.empty()) return std::nullopt;
  // The system reads a path only up to a NUL: "..\0x" would pass as a name here and be
  // used as "..".
  if (relative.find('\0') != std::string_view::npos) return std::nullopt;
  std::vector<std::string_view> parts;
  for (std::string_view part : splitComponents(relative)) {
    if (part == "..") return std::nullopt;
    if (part != ".") parts.push_back(part);
  }
  if (parts.empty()) return std::nullopt;

  std::string result(stripTrailingSlashes(root));
  auto realRoot = realPath(result);
  bool checking = realRoot.has_value();  // a missing root has no links below it
  for (std::string_view part : parts) {
    result = stringByAppendingPathComponent(result, part);
    if (!checking) continue;
    struct stat st;
    if (::lstat(result.c_str(), &st) != 0) {
      if (errno == ENOENT || errno == ENOTDIR) {
        checking = false;  // nothing exists further down, so no link can lead out
        continue;
      }
      return std::nullopt;
    }
    if (S_ISLNK(st.st_mode)) {
      auto target = realPath(result);
      if (!target || !isWithin(*target, *realRoot)) return std::nullopt;
    }
  }
  return result;
}

}  // namespace platform
