#include "platform/registry/KeyHandles.h"

#include <mutex>
#include <unordered_set>

namespace ruzide::registry {

namespace {

struct KeyHandle {
  HandleTarget target;
};

std::mutex& TableMutex() {
  static std::mutex* mutex = new std::mutex;  // never destroyed: usable at exit
  return *mutex;
}

std::unordered_set<KeyHandle*>& Table() {
  static auto* table = new std::unordered_set<KeyHandle*>;
  return *table;
}

}  // namespace

HKEY NewKeyHandle(const HandleTarget& target) {
  auto* handle = new KeyHandle{target};
  std::lock_guard<std::mutex> lock(TableMutex());
  Table().insert(handle);
  return reinterpret_cast<HKEY>(handle);
}

bool FindKeyHandle(HKEY handle, HandleTarget* target) {
  int root = RootIndexOf(handle);
  if (root >= 0) {
    *target = HandleTarget{root, KeyRef{kRootKey, 0}, ~REGSAM{0}, true};
    return true;
  }
  auto* entry = reinterpret_cast<KeyHandle*>(handle);
  std::lock_guard<std::mutex> lock(TableMutex());
  if (Table().count(entry) == 0) return false;
  *target = entry->target;
  return true;
}

bool CloseKeyHandle(HKEY handle) {
  auto* entry = reinterpret_cast<KeyHandle*>(handle);
  {
    std::lock_guard<std::mutex> lock(TableMutex());
    if (Table().erase(entry) == 0) return false;
  }
  delete entry;
  return true;
}

void CloseAllKeyHandles() {
  std::lock_guard<std::mutex> lock(TableMutex());
  for (KeyHandle* handle : Table()) delete handle;
  Table().clear();
}

void LockKeyHandles() { TableMutex().lock(); }
void UnlockKeyHandles() { TableMutex().unlock(); }

}  // namespace ruzide::registry
