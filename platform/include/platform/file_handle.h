#pragma once
// An open file for chunked reads and appending writes (a file handle and an output stream
// in one). Not thread-safe: use one handle from one thread at a time. The handle
// owns its descriptor and closes it when destroyed.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/value.h"

namespace platform {

class FileHandle {
 public:
  // nullptr when the file cannot be opened (missing, a folder, no permission).
  static std::unique_ptr<FileHandle> forReadingAtPath(const std::string& path);
  // Opens an existing file for writing at its start, without truncating it.
  static std::unique_ptr<FileHandle> forWritingAtPath(const std::string& path);
  // Opens for appending, creating the file when missing (an output stream with append).
  static std::unique_ptr<FileHandle> forAppendingAtPath(const std::string& path);
  ~FileHandle();
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  // Up to `length` bytes from the current offset; fewer only at the end of the file; an
  // empty result at the end or after an error (see failed()).
  Bytes readDataOfLength(size_t length);
  Bytes readDataToEndOfFile();
  // Writes everything or fails; returns false on a short write or an error.
  bool writeData(const void* data, size_t size);
  bool writeData(const Bytes& data) { return writeData(data.data(), data.size()); }
  bool seekToFileOffset(uint64_t offset);
  void closeFile();
  // True once a read or write failed, or after closeFile().
  bool failed() const { return failed_; }

 private:
  explicit FileHandle(int fd) : fd_(fd) {}
  int fd_;
  bool failed_ = false;
};

}  // namespace platform
