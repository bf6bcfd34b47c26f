#include "platform/file_handle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace platform {
namespace {

std::unique_ptr<FileHandle> openChecked(const std::string& path, int flags,
                                        std::unique_ptr<FileHandle> (*make)(int)) {
  int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
  if (fd < 0) return nullptr;
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    return nullptr;
  }
  return make(fd);
}

}  // namespace

std::unique_ptr<FileHandle> FileHandle::forReadingAtPath(const std::string& path) {
  return openChecked(path, O_RDONLY, [](int fd) { return std::unique_ptr<FileHandle>(new FileHandle(fd)); });
}

std::unique_ptr<FileHandle> FileHandle::forWritingAtPath(const std::string& path) {
  return openChecked(path, O_WRONLY, [](int fd) { return std::unique_ptr<FileHandle>(new FileHandle(fd)); });
}

std::unique_ptr<FileHandle> FileHandle::forAppendingAtPath(const std::string& path) {
  return openChecked(path, O_WRONLY | O_CREAT | O_APPEND,
                     [](int fd) { return std::unique_ptr<FileHandle>(new FileHandle(fd)); });
}

FileHandle::~FileHandle() { closeFile(); }

Bytes FileHandle::readDataOfLength(size_t length) {
  Bytes data;
  if (fd_ < 0) return data;
  // The buffer grows with what arrives: a large `length` often just means "all there is".
  constexpr size_t kStep = 64 * 1024;
  size_t got = 0;
  while (got < length) {
    size_t want = std::min(length - got, kStep);
    data.resize(got + want);
    ssize_t n = ::read(fd_, data.data() + got, want);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      failed_ = true;
      data.clear();
      return data;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  data.resize(got);
  return data;
}

Bytes FileHandle::readDataToEndOfFile() {
  Bytes all;
  for (;;) {
    Bytes chunk = readDataOfLength(64 * 1024);
    if (chunk.empty()) break;
    all.insert(all.end(), chunk.begin(), chunk.end());
  }
  return all;
}

bool FileHandle::writeData(const void* data, size_t size) {
  if (fd_ < 0) return false;
  auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    ssize_t n = ::write(fd_, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failed_ = true;
      return false;
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool FileHandle::seekToFileOffset(uint64_t offset) {
  return fd_ >= 0 && ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) >= 0;
}

void FileHandle::closeFile() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
    failed_ = true;
  }
}

}  // namespace platform
