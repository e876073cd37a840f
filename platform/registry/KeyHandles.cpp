#include "platform/registry/KeyHandles.h"

#include <cstdint>
#include <mutex>

namespace ruzide::registry {

namespace {

// Open handles live in one array of slots, reused through a free list, so that opening
// and closing a key allocates nothing once the array has grown: the framework opens and
// closes a key for nearly every value it reads or writes. A handle's value spells its
// slot in the low 32 bits, as a multiple of 8 (never a predefined root's low bits), and
// the slot's generation above them, so that a handle closed and its slot reused for
// another key is not taken for the new one.
struct Slot {
  HandleTarget target;
  uint32_t generation = 0;
  bool open = false;
};

struct HandleTable {
  std::mutex mutex;
  std::vector<Slot> slots;
  std::vector<uint32_t> free;  // slots not open, last freed last
};

HandleTable& Table() {
  static auto* table = new HandleTable;  // never destroyed: usable at exit
  return *table;
}

constexpr int kGenerationShift = sizeof(uintptr_t) > 4 ? 32 : 0;

HKEY Encode(uint32_t slot, uint32_t generation) {
  uintptr_t value = (uintptr_t{slot} + 1) * 8;
  if (kGenerationShift > 0) value |= static_cast<uintptr_t>(generation) << kGenerationShift;
  return reinterpret_cast<HKEY>(value);
}

// The open slot `handle` names, or null; the table's mutex is held.
Slot* Decode(HandleTable& table, HKEY handle) {
  auto value = reinterpret_cast<uintptr_t>(handle);
  auto low = static_cast<uint32_t>(value);
  if (low == 0 || low % 8 != 0) return nullptr;
  size_t slot = low / 8 - 1;
  if (slot >= table.slots.size()) return nullptr;
  Slot& found = table.slots[slot];
  if (!found.open) return nullptr;
  if (kGenerationShift > 0 && (value >> kGenerationShift) != found.generation) return nullptr;
  return &found;
}

}  // namespace

HKEY NewKeyHandle(const HandleTarget& target) {
  HandleTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  uint32_t slot;
  if (table.free.empty()) {
    slot = static_cast<uint32_t>(table.slots.size());
    table.slots.emplace_back();
  } else {
    slot = table.free.back();
    table.free.pop_back();
  }
  Slot& entry = table.slots[slot];
  entry.target = target;
  entry.open = true;
  return Encode(slot, entry.generation);
}

bool FindKeyHandle(HKEY handle, HandleTarget* target) {
  int root = RootIndexOf(handle);
  if (root >= 0) {
    *target = HandleTarget{root, KeyRef{kRootKey, 0}, ~REGSAM{0}, true};
    return true;
  }
  HandleTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  Slot* slot = Decode(table, handle);
  if (slot == nullptr) return false;
  *target = slot->target;
  return true;
}

bool CloseKeyHandle(HKEY handle) {
  std::shared_ptr<const std::vector<std::string>> released;  // freed outside the lock
  HandleTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  Slot* slot = Decode(table, handle);
  if (slot == nullptr) return false;
  released = std::move(slot->target.machine_path);
  slot->open = false;
  ++slot->generation;
  table.free.push_back(static_cast<uint32_t>(slot - table.slots.data()));
  return true;
}

void CloseAllKeyHandles() {
  HandleTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  for (Slot& slot : table.slots) {
    if (slot.open) ++slot.generation;
    slot.open = false;
    slot.target = HandleTarget();
  }
  table.free.clear();
  for (size_t slot = table.slots.size(); slot > 0; --slot) {
    table.free.push_back(static_cast<uint32_t>(slot - 1));
  }
}

void LockKeyHandles() { Table().mutex.lock(); }
void UnlockKeyHandles() { Table().mutex.unlock(); }

}  // namespace ruzide::registry
