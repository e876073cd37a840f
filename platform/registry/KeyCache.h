// What one process remembers of a store between calls, so that a repeated open, query or
// enumeration need not go to the database.
//
// The cache is tagged with the generation (GenerationCounter) at which its contents were
// true, and Store uses it only while the counter still shows that generation. It knows
// nothing of generations itself: it holds entries, and forgets them when told.
#ifndef RUZIDE_PLATFORM_REGISTRY_KEYCACHE_H_
#define RUZIDE_PLATFORM_REGISTRY_KEYCACHE_H_

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/registry/Database.h"
#include "platform/registry/KeyIndex.h"
#include "platform/registry/PackedLists.h"
#include "platform/registry/ValueIndex.h"

namespace ruzide::registry {

using SubkeyList = std::shared_ptr<const std::vector<SubkeyEntry>>;
using ValueList = std::shared_ptr<const std::vector<ValueEntry>>;

class KeyCache {
 public:
  KeyCache();

  // An odd tag: no generation counter value matches it.
  static constexpr uint64_t kUntagged = 1;

  uint64_t tag() const { return tag_; }
  // Moves on at each Reset and whenever an entry records a key deleted or missing: a
  // result drawn from the entries stays true while the epoch stays the same.
  uint64_t epoch() const { return epoch_; }
  // Forgets everything and takes `tag`.
  void Reset(uint64_t tag);
  // Takes `tag` without forgetting: the entries are known to be true at that generation.
  void Retag(uint64_t tag) { tag_ = tag; }
  // Forgets the lists and times, which one change can affect in many places, while the
  // caller keeps the single-name entries right itself.
  void ForgetLists();

  // Each Find returns false when the cache has no entry.
  // The id of the subkey `folded` of `parent`; 0 records that there is none.
  bool FindSubkey(int64_t parent, const std::string& folded, int64_t* id) const;
  void PutSubkey(int64_t parent, const std::string& folded, int64_t id);
  // What creating the key calls: as PutSubkey, but like a lookup that finds no key, it adds
  // an entry for the name only while the cache holds few, so that a process that creates
  // many keys and reads few, such as an import, does not hold all it created; or while it
  // holds fewer than it once did, before keys it held were deleted.
  void PutCreatedSubkey(int64_t parent, const std::string& folded, int64_t id);

  bool FindAlive(int64_t key, bool* alive) const { return keys_.FindAlive(key, alive); }
  // A key recorded as not there has its values forgotten.
  void PutAlive(int64_t key, bool alive);

  // Sets *value to the value, or records that there is none; its data stays valid until
  // the next change to the cache.
  bool FindValue(int64_t key, std::string_view folded, ValueView* value) const {
    return values_.Find(key, folded, value);
  }
  // For a key just opened, whose values are usually read or written next.
  void PrefetchValues(int64_t key) const { values_.Prefetch(key); }
  // A null `value` records that there is none.
  void PutValue(int64_t key, std::string_view folded, const StoredValue* value);
  // What a write of the value calls: an entry there is kept right, and a new one is added
  // only while the cache is small, so that a process that writes much more than it reads,
  // such as an import, does not hold everything it wrote; or while it holds fewer values
  // than it once did, before keys whose values it held were deleted.
  void PutWrittenValue(int64_t key, std::string_view folded, uint32_t type, std::string_view data);
  // What a deletion of the value calls, on the same terms: deleting a subtree of a million
  // keys, whose ids never come back, would otherwise fill the index with the absence of
  // every value it deleted and start it afresh.
  void PutDeletedValue(int64_t key, std::string_view folded);

  SubkeyList FindSubkeys(int64_t key);  // null on a miss
  void PutSubkeys(int64_t key, SubkeyList list);
  ValueList FindValues(int64_t key);  // null on a miss
  void PutValues(int64_t key, ValueList list);

  bool FindLastWriteTime(int64_t key, int64_t* time) const;
  void PutLastWriteTime(int64_t key, int64_t time);

  // A key's class never changes, and its id is never reused.
  bool FindClass(int64_t key, std::string* key_class) const;
  void PutClass(int64_t key, const std::string& key_class);

 private:
  // Bounds the memory of the times and classes: past this many entries the cache starts
  // afresh. The keys and values are bounded by their own indexes.
  void MakeRoom();
  size_t Entries() const;
  // Whether a name found missing or created adds an entry for it.
  bool AddsNewName() const;
  // Whether a write or deletion of one of `key`'s values adds an entry for it.
  bool AddsChangedValue(int64_t key) const;
  // Counts `bytes` more of lists held, or returns false when that would pass the budget;
  // either way the cache now holds a list to forget.
  bool TakeListRoom(size_t bytes);

  // Lists by key: held ready while they fit the budget, and past it packed, and ready only
  // among the last few, so that a key listed several times in a row (a walk reads a key's
  // values once for each of their types) is unpacked once.
  template <typename List>
  class HeldLists {
   public:
    // Null on a miss.
    List Find(int64_t key, const PackedLists& packed);
    void Put(int64_t key, List list, bool fits, PackedLists* packed);
    // Forgets every list and gives back the map's buckets.
    void Clear();

   private:
    // The list held packed, made ready and held among the last few; null when none is.
    // Apart from Find, so that Find's common path stays small enough to inline.
    __attribute__((noinline)) List Unpack(int64_t key, const PackedLists& packed);

    static constexpr size_t kRecent = 4;
    std::unordered_map<int64_t, List> lists_;
    std::array<std::pair<int64_t, List>, kRecent> recent_{};
    size_t next_recent_ = 0;
  };

  uint64_t tag_ = kUntagged;
  uint64_t epoch_ = 1;
  KeyIndex keys_;  // the subkeys, whether keys are there, and which have no class
  ValueIndex values_;
  HeldLists<SubkeyList> subkey_lists_;
  HeldLists<ValueList> value_lists_;
  size_t list_bytes_ = 0;     // roughly what the ready lists hold
  bool holds_lists_ = false;  // whether ForgetLists has anything to forget
  PackedLists packed_lists_;
  std::unordered_map<int64_t, int64_t> times_;
  std::unordered_map<int64_t, std::string> classes_;  // the classes that are not empty
};

}  // namespace ruzide::registry

#endif  // RUZIDE_PLATFORM_REGISTRY_KEYCACHE_H_
