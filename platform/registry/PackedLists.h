// The subkey and value lists KeyCache holds once its ready lists have used their budget:
// each list packed into one record of a flat buffer.
//
// A walk over a tree lists every key's subkeys and values once per walk, and a list the
// cache does not hold costs a query, some 1.5 us a list over a store of a million keys. A
// ready list (a vector of entries with their strings, behind a shared owner, in a map
// node) takes some 400 bytes for a key of four short values, so the ready lists' budget
// held a tenth of such a tree. Packed, the same list takes 93 bytes beside its slot, an
// empty one 16, and making it ready again costs an allocation and a copy.
//
// A list is packed only when it is offered a second time, that is, read from the database
// again: a walk that reads each list once, as an export does, would pay for packing and
// memory it never uses. A bit a list, in a table of hashed bits that a list shares now and
// then with another, records what was offered; it outlives Clear, since a walk repeated
// after a change is still a walk repeated.
//
// Lists are packed in the order they are added, which the next walk repeats, so a lookup
// first tries the record after the one found last, and hashes (HashSlots.h) only when
// that is not it. The index is bounded: once it holds `max_lists` lists or `max_bytes` of
// records, it adds no more and keeps those it has until Clear, as the ready lists do, so
// that each walk over a larger tree finds the same first lists held.
#ifndef RUZIDE_PLATFORM_REGISTRY_PACKEDLISTS_H_
#define RUZIDE_PLATFORM_REGISTRY_PACKEDLISTS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/registry/Database.h"

namespace ruzide::registry {

class PackedLists {
 public:
  // `max_bytes` must stay below 4 GB.
  PackedLists(size_t max_lists, size_t max_bytes) : max_lists_(max_lists), max_bytes_(max_bytes) {}

  // Each Find returns false when no list of the key is held, else sets *list to a copy.
  bool Find(int64_t key, std::vector<SubkeyEntry>* list) const;
  bool Find(int64_t key, std::vector<ValueEntry>* list) const;
  // Holds a copy of the key's list if it was offered before, unless one is held or the
  // index is full.
  void Put(int64_t key, const std::vector<SubkeyEntry>& list);
  void Put(int64_t key, const std::vector<ValueEntry>& list);

  // Forgets every list and gives back their memory, but not which were offered.
  void Clear();

 private:
  struct Slot {
    uint32_t hash;
    uint32_t at;  // of the record in bytes_; kFree when the slot is free
  };
  static constexpr uint32_t kFree = UINT32_MAX;

  // A record: the key's id doubled, plus one for a list of values (8 bytes), the number
  // of entries (4), the size of the whole record (4), the entries.
  static constexpr size_t kCountAt = 8, kSizeAt = 12, kHeader = 16;

  // The record of `tag`, or null.
  const char* FindRecord(int64_t tag) const;
  template <typename Entry>
  bool FindList(int64_t tag, std::vector<Entry>* list) const;
  template <typename Entry>
  void PutList(int64_t tag, const std::vector<Entry>& list);
  void GrowSlots();
  // Records that `tag` was offered, and returns whether it was before.
  bool OfferedBefore(int64_t tag);

  const size_t max_lists_;
  const size_t max_bytes_;
  std::vector<Slot> slots_;
  size_t used_ = 0;
  std::string bytes_;
  mutable size_t next_ = 0;        // the place after the record found last
  std::vector<uint64_t> offered_;  // 2^24 bits, made at the first offer
};

}  // namespace ruzide::registry

#endif  // RUZIDE_PLATFORM_REGISTRY_PACKEDLISTS_H_
