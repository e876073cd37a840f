// The keys one process has looked up in a store, for KeyCache: each key's id by its
// parent and folded name (0 for a name known to be missing), whether an id is a key that
// is there, and whether its class is empty.
//
// A walk over a large tree looks up every key once per walk, and the next walk finds them
// here only if all of them fit, so this holds many keys in little memory: two flat tables
// of 8-byte slots (HashSlots.h, at most three-quarters full), one vector of name entries
// and one buffer of names, 50 to 90 bytes a key with names of a few letters, where
// node-based maps took some 130. It is bounded: when either table holds `max_keys`
// entries, or the names `max_name_bytes`, it forgets everything and starts afresh, so
// that a process that looks up ever more keys, such as an import or export of a large
// file, holds no more than that. Deleted keys, and the names of their subkeys, go first:
// a process that deletes and recreates a tree again and again keeps the rest.
//
// The names are kept in the order they were added, and their table holds only a hash and
// a place in that order. A walk looks a tree's keys up in the order an earlier walk first
// did, which is mostly the order their names were added, so a lookup tries the name after
// the last one found before it hashes: in a walk that repeats one, it finds it there, next
// to the one before, where the table cost a cache miss a key once it outgrew the
// processor's caches. It then tries the last one found itself, which a deletion looks up
// again after the walk to the key. A wrong guess costs one comparison with an entry that
// is near. Callers serialize all calls, lookups included.
#ifndef RUZIDE_PLATFORM_REGISTRY_KEYINDEX_H_
#define RUZIDE_PLATFORM_REGISTRY_KEYINDEX_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/HashSlots.h"

namespace ruzide::registry {

class KeyIndex {
 public:
  KeyIndex(size_t max_keys, size_t max_name_bytes)
      : max_keys_(max_keys), max_name_bytes_(max_name_bytes) {}

  // Each Find returns false when the index has no entry.
  bool FindSubkey(int64_t parent, std::string_view folded, int64_t* id) const;
  // With `add` false, only sets an entry there is (and that `id` is there).
  void PutSubkey(int64_t parent, std::string_view folded, int64_t id, bool add = true);
  bool FindAlive(int64_t key, bool* alive) const {
    const uint64_t entry = ids_.empty() ? 0 : ids_[FindId(key)];
    if ((entry & (kAlive | kDead)) == 0) return false;
    *alive = (entry & kAlive) != 0;
    return true;
  }
  void PutAlive(int64_t key, bool alive);
  // True when the key is known to have an empty class; a class that is not empty is
  // KeyCache's to hold.
  bool FindEmptyClass(int64_t key) const {
    return !ids_.empty() && (ids_[FindId(key)] & kEmptyClass) != 0;
  }
  void PutEmptyClass(int64_t key);

  // Forgets everything and gives back the memory.
  void Clear();
  size_t names() const { return names_.size(); }
  // The names held less one for each key found there and then deleted since room was last
  // made: about those whose keys are still there. And the most of them held at once since
  // the index started afresh.
  size_t live_names() const { return names_.size() - std::min(deleted_, names_.size()); }
  size_t most_live_names() const { return most_live_names_; }
  size_t keys() const { return names_.size() > ids_used_ ? names_.size() : ids_used_; }

 private:
  struct Name {
    int64_t parent;
    int64_t id;
    uint32_t at;  // of the name's length and bytes in name_bytes_
  };
  struct NameSlot {
    uint32_t hash;
    uint32_t name;  // the place in names_; kNoName when free
  };
  static constexpr uint32_t kNoName = UINT32_MAX;
  static bool IsFreeSlot(const NameSlot& slot) { return slot.name == kNoName; }

  static uint32_t NameHash(int64_t parent, std::string_view folded);
  // The entry of the name, or null; sets *hash when it had to compute it, else leaves it.
  const Name* FindName(int64_t parent, std::string_view folded, uint32_t* hash) const;
  bool SameName(const Name& name, int64_t parent, std::string_view folded) const;
  static std::string_view Folded(const std::string& name_bytes, const Name& name);
  void AddName(int64_t parent, int64_t id, std::string_view folded, uint32_t hash);
  // Ids stay below 2^60 (the change log's limit), which leaves the bits above for flags.
  static constexpr uint64_t kIdBits = (uint64_t{1} << 60) - 1;
  static constexpr uint64_t kAlive = uint64_t{1} << 63;
  static constexpr uint64_t kDead = uint64_t{1} << 62;
  static constexpr uint64_t kEmptyClass = uint64_t{1} << 61;

  // The slot of `key`, or the free one it would take; the table must not be empty. A key
  // that is no id (0, or past kIdBits) finds a free slot. Ids that differ only in their
  // three low bits share a home line: keys made one after another, which walks visit in
  // turn.
  size_t FindId(int64_t key) const {
    return ProbeLines(ids_, IdProbe(static_cast<uint64_t>(key)), [key](uint64_t entry) {
      return entry == 0 || (entry & kIdBits) == static_cast<uint64_t>(key);
    });
  }
  // Lines go a page at a time in a large table (PagedLine).
  LineProbe IdProbe(uint64_t key) const {
    const uint64_t group = key >> 3;
    const uint32_t mixed = MixBits(group);
    return LineProbe{ids_.size() < kPagedSlots ? mixed : PagedLine(group),
                     static_cast<unsigned>(key & 7), mixed >> 24};
  }
  void SetIdFlags(int64_t key, uint64_t set, uint64_t clear);
  // Drops deleted keys' entries and the names of their subkeys, or forgets everything
  // when what would be left fills either table, or the names, past three-quarters of
  // their bound.
  void MakeRoom();
  void DropDeletedKeys();
  bool IsDeleted(int64_t key) const;
  // Whether the name's key or its parent is deleted.
  bool Outlived(const Name& name) const;
  void GrowNames();
  void GrowIds();

  const size_t max_keys_;
  const size_t max_name_bytes_;
  std::vector<Name> names_;  // in the order they were added
  std::vector<NameSlot> name_slots_;
  mutable size_t next_name_ = 0;  // the place after the last name found
  std::string name_bytes_;
  // A key's id with flags in the bits above any id; 0 marks a free slot.
  std::vector<uint64_t> ids_;
  size_t ids_used_ = 0;
  size_t deleted_ = 0;  // keys known there, then deleted, whose entries are still held
  size_t most_live_names_ = 0;
};

}  // namespace ruzide::registry

#endif  // RUZIDE_PLATFORM_REGISTRY_KEYINDEX_H_
