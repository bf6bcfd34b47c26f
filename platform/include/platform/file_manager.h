#pragma once
// Files and folders of the sandbox, and the path arithmetic the clients do on strings.
//
// Thread safety: every function is safe from any thread; concurrent operations on the same
// path race as the underlying system calls do (except that an atomic write is never seen
// half-done). Failure: functions return false / std::nullopt and leave `errno` as the
// failing call set it; nothing throws.
// Paths are plain POSIX paths (UTF-8); nothing here expands "~".
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/value.h"

namespace platform {

class FileManager {
 public:
  // --- Existence and kind -------------------------------------------------------------
  // True when `path` names something; a symbolic link counts by its target.
  static bool fileExistsAtPath(const std::string& path);
  // As above, and reports whether the (followed) item is a folder.
  static bool fileExistsAtPathIsDirectory(const std::string& path, bool* isDirectory);
  // True when `path` itself exists, a dangling symbolic link included (links not followed).
  static bool itemExistsAtPath(const std::string& path);
  // True for a folder, or a link to one.
  static bool isDirectory(const std::string& path);
  // True when `path` itself is a symbolic link.
  static bool isSymbolicLink(const std::string& path);

  // --- Folders ---------------------------------------------------------------------------
  // Creates the folder (and, with `intermediates`, its missing parents). With
  // `intermediates`, an existing folder is success; without, it is a failure, as the
  // platform's call is.
  static bool createDirectoryAtPath(const std::string& path, bool intermediates);
  // Removes a file, a link (never what it points to) or a folder with everything in it.
  // A missing item is a failure.
  static bool removeItemAtPath(const std::string& path);
  // Names in the folder (not "." or ".."), sorted bytewise; links are listed, not followed.
  static std::optional<std::vector<std::string>> contentsOfDirectoryAtPath(const std::string& path);
  // Moves a file or folder; fails when `to` exists (as the platform's move does).
  static bool moveItemAtPath(const std::string& from, const std::string& to);
  // Copies a file, a link (as a link) or a folder recursively; fails when `to` exists.
  static bool copyItemAtPath(const std::string& from, const std::string& to);

  // --- Contents --------------------------------------------------------------------------
  static std::optional<Bytes> contentsAtPath(const std::string& path);
  static std::optional<std::string> stringContentsAtPath(const std::string& path);
  // Replaces the file's contents atomically: the bytes go to a temporary file in the same
  // folder, which is flushed and renamed over `path`. Readers see the old contents or the
  // new, never a mix; on failure the old file is untouched and no temporary is left. The
  // temporary is named ".<name>.tmp-<pid>-XXXXXX"; the first atomic write of a process into a
  // folder removes the temporaries that writers since gone (killed ones) left there.
  static bool writeAtomically(const std::string& path, const void* data, size_t size);
  static bool writeAtomically(const std::string& path, const Bytes& data);
  static bool writeAtomically(const std::string& path, std::string_view text);
  // Removes the regular files in `folder` named exactly as atomic writes name their
  // temporaries (".<name>.tmp-<writer's process id>-<six letters or digits>") whose writer
  // is gone: never a write in progress, never a file of another name. The number removed.
  static size_t removeAbandonedTemporaryFilesAtPath(const std::string& folder);
  // Appends, creating the file when missing. Not atomic.
  static bool appendToFile(const std::string& path, const void* data, size_t size);
  static bool appendToFile(const std::string& path, std::string_view text);

  // --- Attributes ------------------------------------------------------------------------
  // Size in bytes of the (followed) item.
  static std::optional<uint64_t> fileSize(const std::string& path);
  // Seconds since 1970 of the last modification of the (followed) item.
  static std::optional<double> modificationDate(const std::string& path);
  static bool setModificationDate(const std::string& path, double since1970);
  // The same for the last access, which a cache may set to mark when its content was current.
  static std::optional<double> accessDate(const std::string& path);
  static bool setAccessDate(const std::string& path, double since1970);
  // Total size in bytes of the file system holding `path` (blocks times fragment size, as
  // statvfs reports them).
  static std::optional<double> fileSystemSize(const std::string& path);
  // The name to show for `path`: its last component, without the extension when that is
  // "app" (an application bundle); "" for an empty path. The item need not exist.
  static std::string displayNameAtPath(const std::string& path);

  // --- Symbolic links --------------------------------------------------------------------
  // Creates `path` as a link whose text is `destination` (which need not exist).
  static bool createSymbolicLinkAtPath(const std::string& path, const std::string& destination);
  // The link's text, unresolved.
  static std::optional<std::string> destinationOfSymbolicLinkAtPath(const std::string& path);

  // --- Path strings (no file-system access) --------------------------------------------
  // "a/b" + "c" → "a/b/c"; slashes between the two are collapsed; an empty base gives the
  // component.
  static std::string stringByAppendingPathComponent(std::string_view base, std::string_view component);
  // Removes ".", empty components and "name/.." pairs, and a trailing slash. A ".." that
  // would climb above the start of a relative path is kept; above "/" it is dropped.
  static std::string stringByStandardizingPath(std::string_view path);
  // "/a/b.txt" → "b.txt"; "/" → "/"; trailing slashes ignored.
  static std::string lastPathComponent(std::string_view path);
  // "b.tar.gz" → "gz"; "" when the last component has no dot (or only a leading one).
  static std::string pathExtension(std::string_view path);
  // "/a/b" → "/a"; "/a" → "/"; "a" → "".
  static std::string stringByDeletingLastPathComponent(std::string_view path);
  // "/a/b.txt" → "/a/b".
  static std::string stringByDeletingPathExtension(std::string_view path);

  // --- Confinement -----------------------------------------------------------------------
  // For names that come from outside (a page, a server, an archive): the path of `relative`
  // under `root`, or nullopt when `relative` is empty, absolute, contains a ".." component
  // or a NUL byte, or crosses a symbolic link (at any component that exists) whose target
  // lies outside `root` (or cannot be resolved). "." and empty components are dropped. The items need
  // not exist; the check is made against the file system as it is now.
  static std::optional<std::string> confinedPath(const std::string& root, std::string_view relative);
};

}  // namespace platform
