#include "platform/registry/StoreLocation.h"

#include <pwd.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace ruzide::registry {

namespace {

const char* const kRootNames[kRootCount] = {"HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"};
const char* const kRootShortNames[kRootCount] = {"HKCU", "HKLM"};

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return home;
  const passwd* entry = getpwuid(getuid());
  return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "/";
}

std::string DefaultFolder(int root) {
  if (root == kLocalMachine) return "/var/lib/ruzide";
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && *config != '\0') return std::string(config) + "/ruzide";
  return HomeFolder() + "/.config/ruzide";
}

bool ListedReadOnly(int root) {
  for (const std::string& entry : ReadOnlyListEntries()) {
    if (RootNamedBy(entry) == root) return true;
  }
  return false;
}

}  // namespace

int RootIndexOf(HKEY root) {
  // The registry reads only the low 32 bits of a predefined handle, so the handle kept in
  // a DWORD and cast back, or written (HKEY)0x80000001, names the root too. A key handle's
  // low 32 bits are a multiple of 8 (KeyHandles.cpp), which never spell either value.
  auto low = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(root));
  if (low == static_cast<uint32_t>(reinterpret_cast<uintptr_t>(HKEY_CURRENT_USER))) {
    return kCurrentUser;
  }
  if (low == static_cast<uint32_t>(reinterpret_cast<uintptr_t>(HKEY_LOCAL_MACHINE))) {
    return kLocalMachine;
  }
  return -1;
}

const char* RootName(int root) { return kRootNames[root]; }

std::vector<std::string> ReadOnlyListEntries() {
  std::vector<std::string> entries;
  const char* list = std::getenv("RUZIDE_REGISTRY_READONLY");
  if (list == nullptr) return entries;
  const std::string text(list);
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(',', start);
    if (end == std::string::npos) end = text.size();
    const std::string entry = text.substr(start, end - start);
    const size_t first = entry.find_first_not_of(" \t");
    if (first != std::string::npos) {
      entries.push_back(entry.substr(first, entry.find_last_not_of(" \t") - first + 1));
    }
    start = end + 1;
  }
  return entries;
}

int RootNamedBy(const std::string& entry) {
  for (int root = 0; root < kRootCount; ++root) {
    if (strcasecmp(entry.c_str(), kRootNames[root]) == 0 ||
        strcasecmp(entry.c_str(), kRootShortNames[root]) == 0) {
      return root;
    }
  }
  return -1;
}

StoreLocation LocateStore(int root) {
  StoreLocation location;
  // The machine root may live apart from the user root, so that users with folders of
  // their own share one machine root.
  const char* folder = root == kLocalMachine ? std::getenv("RUZIDE_MACHINE_REGISTRY") : nullptr;
  if (folder == nullptr || *folder == '\0') folder = std::getenv("RUZIDE_REGISTRY");
  location.folder = folder != nullptr && *folder != '\0' ? folder : DefaultFolder(root);
  while (location.folder.size() > 1 && location.folder.back() == '/') location.folder.pop_back();
  // SQLite may read a name that begins "file:" as a URI; "./file:" it cannot.
  if (location.folder.empty() || location.folder.front() != '/') location.folder.insert(0, "./");
  std::string base = location.folder + "/" + kRootNames[root];
  location.database = base + ".db";
  location.generation = base + ".gen";
  location.folder_mode = root == kCurrentUser ? 0700 : 0755;
  location.file_mode = root == kCurrentUser ? 0600 : 0644;
  location.listed_read_only = ListedReadOnly(root);
  return location;
}

LONG CheckStoreFolder(const StoreLocation& location) {
  struct stat folder;
  if (stat(location.folder.c_str(), &folder) != 0) return ERROR_SUCCESS;
  if (!S_ISDIR(folder.st_mode)) return ERROR_PATH_NOT_FOUND;
  uid_t user = geteuid();
  if (folder.st_uid != user && folder.st_uid != 0) return ERROR_ACCESS_DENIED;
  bool others_write = (folder.st_mode & S_IWOTH) != 0 ||
                      ((folder.st_mode & S_IWGRP) != 0 && folder.st_gid != getegid());
  if (!others_write) return ERROR_SUCCESS;
  if ((folder.st_mode & S_ISVTX) == 0) return ERROR_ACCESS_DENIED;
  // Others may add names to a sticky folder but not replace this user's files.
  for (const std::string& path : {location.database, location.database + "-wal",
                                  location.database + "-shm", location.generation}) {
    struct stat file;
    if (lstat(path.c_str(), &file) == 0 && file.st_uid != user) return ERROR_ACCESS_DENIED;
  }
  return ERROR_SUCCESS;
}

StoreLocation RunTimeLocation(const StoreLocation& store, dev_t device, ino_t inode) {
  StoreLocation location = store;
  char name[64];
  snprintf(name, sizeof name, "/dev/shm/ruzide-%llx-%llx", static_cast<unsigned long long>(device),
           static_cast<unsigned long long>(inode));
  location.folder = name;
  location.database = location.folder + store.database.substr(store.database.rfind('/'));
  location.generation.clear();
  return location;
}

LONG CheckRunTimeFolder(const StoreLocation& location) {
  struct stat folder;
  if (lstat(location.folder.c_str(), &folder) == 0 && S_ISLNK(folder.st_mode)) {
    return ERROR_ACCESS_DENIED;
  }
  return CheckStoreFolder(location);
}

LONG CheckSideFiles(const StoreLocation& location, bool repair) {
  struct stat database;
  if (stat(location.database.c_str(), &database) != 0) return ERROR_SUCCESS;
  for (const std::string& path :
       {location.database + "-wal", location.database + "-shm", location.generation}) {
    struct stat file;
    if (lstat(path.c_str(), &file) != 0) {
      if (errno == ENOENT) continue;
      return ERROR_REGISTRY_IO_FAILED;
    }
    if (S_ISLNK(file.st_mode)) return ERROR_ACCESS_DENIED;
    if (!S_ISREG(file.st_mode)) return ERROR_REGISTRY_IO_FAILED;
    mode_t mode = database.st_mode & 0777;
    if (repair && path != location.generation && file.st_uid == geteuid() &&
        (file.st_mode & 0777) != mode) {
      chmod(path.c_str(), mode);
    }
  }
  return ERROR_SUCCESS;
}

}  // namespace ruzide::registry
