#include "WholeFile.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#endif

namespace ruzide {
namespace tool {

namespace {

#ifdef _WIN32
constexpr int kCreateFlags = O_WRONLY | O_CREAT | O_EXCL | O_BINARY;
int SyncFile(int fd) { return _commit(fd); }
bool RenameOver(const std::string& from, const std::string& to) {
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  errno = EACCES;
  return false;
}
void SyncFolderOf(const std::string&) {}  // MOVEFILE_WRITE_THROUGH did it
#else
constexpr int kCreateFlags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC;
int SyncFile(int fd) { return fsync(fd); }
bool RenameOver(const std::string& from, const std::string& to) {
  return rename(from.c_str(), to.c_str()) == 0;
}
// The rename is durable only once the folder is; the old file is whole meanwhile anyway.
void SyncFolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  int fd = open(folder.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}
#endif

// Gives `write` a stream over `out`, flushed before it returns.
bool WriteThrough(FILE* out, const std::function<bool(FILE* out)>& write) {
  errno = 0;
  bool written = write(out) && fflush(out) == 0;
  int error = errno;
  if (fclose(out) != 0 && written) {
    written = false;
    error = errno;
  }
  errno = error;
  return written;
}

// Writes to what is not a regular file, as it is.
bool WriteInPlace(const std::string& path, const std::function<bool(FILE* out)>& write) {
  FILE* out = fopen(path.c_str(), "wb");
  return out != nullptr && WriteThrough(out, write);
}

// The file a symbolic link at `path` leads to, or `path` itself.
std::string Resolved(const std::string& path) {
#ifndef _WIN32
  struct stat link;
  if (lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    char* target = realpath(path.c_str(), nullptr);
    if (target != nullptr) {
      std::string resolved = target;
      free(target);
      return resolved;
    }
  }
#endif
  return path;
}

// Writes a new file beside `target` with `fill`, syncs it and renames it over `target`.
bool ReplaceWhole(const std::string& target, const struct stat* old,
                  const std::function<bool(int fd, const std::string& temporary)>& fill) {
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    temporary = target + "." + std::to_string(getpid()) + "-" + std::to_string(attempt) + ".tmp";
    fd = open(temporary.c_str(), kCreateFlags, 0666);  // the umask applies, as for any new file
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
#ifndef _WIN32
  if (old != nullptr) {
    fchmod(fd, old->st_mode & 07777);
    if (fchown(fd, old->st_uid, old->st_gid) != 0) {
      // Only root may give a file away; the file is the caller's, as a new one would be.
    }
  }
#else
  (void)old;
#endif
  errno = 0;
  bool failed = !fill(fd, temporary) || SyncFile(fd) != 0;
  int error = failed ? errno : 0;
  if (close(fd) != 0 && !failed) {
    error = errno;
    failed = true;
  }
  if (!failed && !RenameOver(temporary, target)) {
    error = errno;
    failed = true;
  }
  if (failed) {
    unlink(temporary.c_str());
    errno = error;
    return false;
  }
  SyncFolderOf(target);
  return true;
}

}  // namespace

bool WriteWholeFile(const std::string& path, const std::function<bool(FILE* out)>& write) {
  const std::string target = Resolved(path);
  struct stat old;
  const bool exists = stat(target.c_str(), &old) == 0;
  if (exists && !S_ISREG(old.st_mode)) return WriteInPlace(target, write);
  return ReplaceWhole(target, exists ? &old : nullptr, [&](int fd, const std::string&) {
    // A stream of its own over the file, which ReplaceWhole then syncs and closes.
    const int copy = dup(fd);
    FILE* out = copy < 0 ? nullptr : fdopen(copy, "wb");
    if (out == nullptr && copy >= 0) close(copy);
    return out != nullptr && WriteThrough(out, write);
  });
}

bool WriteWholeFileWith(const std::string& path,
                        const std::function<bool(const std::string& temporary)>& fill) {
  const std::string target = Resolved(path);
  struct stat old;
  const bool exists = stat(target.c_str(), &old) == 0;
  return ReplaceWhole(target, exists ? &old : nullptr,
                      [&](int, const std::string& temporary) { return fill(temporary); });
}

}  // namespace tool
}  // namespace ruzide
