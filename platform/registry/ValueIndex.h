// The values one process has read or written in a store, for KeyCache: each value's
// type and data by its key's id and folded name, or that the key has no such value.
//
// A walk over a large tree reads every value once per walk, and the next walk finds them
// here only if all of them fit, while a write looks its value up first to skip rewriting
// data that is there. So, like KeyIndex, this is one flat table (HashSlots.h, at most
// three-quarters full) of 8-byte slots, each a hash and the place of its record in one
// buffer, where the record holds the key's id, the type, the data's size, the name and
// the data together: a lookup reads one slot and one record, some 40 bytes a value with
// short names and data, slot included, where a node-based map took some 130 and a node
// allocation each. A key's values share a home line of slots, and records are added in
// the order values are first read, which a walk repeats: the values of one key cost one
// cache miss for their slots, their records lie together, and each record found names
// the slot of the record after it, which is fetched while the caller works.
//
// A value set again with data no longer than before is rewritten in place; longer data
// moves the record to the end of the buffer and leaves the old one as garbage, which is
// reclaimed by compacting the buffer once garbage is half of it, or a quarter of it when
// the buffer is full; compacting keeps the records in the order they were added.
//
// The values of a deleted key are forgotten (Forget): their slots stay taken, as a lookup of
// another value may have to probe past them, until compacting or making room puts the other
// entries back without them. A process that deletes a tree of a million keys and writes it
// again so holds the new tree in the room of the old. The index is bounded: when it holds
// `max_values` entries, or its buffer would pass `max_bytes`, and dropping what is forgotten
// or garbage does not make room, it forgets everything and starts afresh, so that a process
// that reads or writes ever more values holds no more than that.
#ifndef RUZIDE_PLATFORM_REGISTRY_VALUEINDEX_H_
#define RUZIDE_PLATFORM_REGISTRY_VALUEINDEX_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ruzide::registry {

// A value as the index holds it. `data` points into the index: it stays valid until the
// next Put or Clear.
struct ValueView {
  bool present = false;  // false: the key is known to have no such value
  uint32_t type = 0;
  std::string_view data;
};

class ValueIndex {
 public:
  // `max_bytes` must stay below 4 GB.
  ValueIndex(size_t max_values, size_t max_bytes) : max_values_(max_values), max_bytes_(max_bytes) {
    recent_slots_.fill(kNoSlot);
  }

  // The hash of a value: its high 24 bits from the key alone, which pick the home line, so
  // that a key's values share it; its low 8 from the name.
  static uint32_t Hash(int64_t key, std::string_view folded);

  // False when the index has no entry for the value.
  bool Find(int64_t key, std::string_view folded, ValueView* value) const;
  // Starts fetching the slots where `key`'s values would be into the processor's cache,
  // for a caller that will soon look one up.
  void Prefetch(int64_t key) const;
  // Whether the index holds an entry for some value of `key` in the key's home line, where
  // a key's values go while it has room: a cheap sign that the process reads the key.
  bool HoldsValuesOf(int64_t key) const;
  // Records `value` (its type and data ignored when it is not present). With `add` false,
  // only changes an entry there is. A name past 65,535 bytes is never held, nor data past
  // an eighth of `max_bytes`, which forgets the entry there, so that one large value
  // cannot empty the index.
  void Put(int64_t key, std::string_view folded, const ValueView& value, bool add = true);

  // Forgets the values of `key` held in its home line or put among the last few: those of
  // a key deleted, whose id never comes back, which had its values deleted first, as a
  // subtree's deletion does. A key whose values were not, and that has more than its home
  // line holds, may keep the others.
  void Forget(int64_t key);

  // Forgets everything and gives back the memory.
  void Clear();
  // The entries held, forgotten ones included, and those not forgotten.
  size_t size() const { return used_; }
  size_t live() const { return used_ - forgotten_; }
  // The most entries not forgotten held at once since the index started afresh.
  size_t most_live() const { return most_live_; }
  size_t bytes() const { return bytes_.size(); }

 private:
  struct Slot {
    uint32_t hash;
    uint32_t at;  // of the record in bytes_; kFree when the slot is free
  };
  static constexpr uint32_t kFree = UINT32_MAX;

  // A record: the key's id (8 bytes), the type (4), the data's size with the flags below
  // (4), the number of its slot (4), the name's size (2), the name, the data.
  static constexpr size_t kTypeAt = 8, kSizeAt = 12, kSlotAt = 16, kNameSizeAt = 20;
  static constexpr size_t kHeader = 22;
  static constexpr uint32_t kAbsent = uint32_t{1} << 31;   // no such value
  static constexpr uint32_t kUnknown = uint32_t{1} << 30;  // forgotten: no entry
  static constexpr uint32_t kSizeBits = kUnknown - 1;

  // The slot holding the value, or the free slot it would take; the table must not be
  // empty.
  size_t Probe(int64_t key, std::string_view folded, uint32_t hash) const;
  bool Holds(const Slot& slot, int64_t key, std::string_view folded, uint32_t hash) const;
  // The first slot of `key`'s home line; the table must have slots.
  size_t HomeLine(int64_t key) const;
  size_t RecordSize(uint32_t at) const;
  bool IsForgotten(const Slot& slot) const;
  void ForgetRecord(const Slot& slot);
  // Counts a forgotten entry given a value again.
  void Revive();
  // Changes the entry in `slot` to `value`, in place when its data fits where the old
  // data was; false when the record must move. With `fits` false the entry is forgotten.
  bool Rewrite(Slot* slot, std::string_view folded, const ValueView& value, bool fits);
  // Makes room in the buffer for `record` more bytes, compacting it or, failing that,
  // clearing everything (then false).
  bool MakeByteRoom(size_t record);
  // Makes room for one entry more: drops the forgotten entries when they are a quarter of
  // those held, then clears everything at `max_values`, or else doubles the slots when
  // they are three-quarters full.
  void MakeSlotRoom();
  // Drops the forgotten entries and the garbage of the buffer.
  void Compact();
  // Puts every entry that is not forgotten back in the slot its probe now gives.
  void DropForgotten();
  // Records in each record the number of its slot, after the slots moved, and forgets the
  // slots of the last entries put.
  void NoteSlots();
  void NoteRecent(size_t slot);
  bool IsKeys(const Slot& slot, int64_t key) const;
  // Adds the record of an entry in slot number `slot`.
  uint32_t Append(int64_t key, std::string_view folded, const ValueView& value, size_t slot);
  void GrowSlots();

  const size_t max_values_;
  const size_t max_bytes_;
  std::vector<Slot> slots_;
  // The slots of the last entries put, for Forget; kNoSlot where none is.
  static constexpr size_t kRecentSlots = 16;
  static constexpr uint32_t kNoSlot = UINT32_MAX;
  std::array<uint32_t, kRecentSlots> recent_slots_;
  size_t next_recent_ = 0;
  size_t used_ = 0;
  size_t forgotten_ = 0;  // of the entries used_ counts
  size_t most_live_ = 0;
  std::string bytes_;
  size_t garbage_ = 0;  // bytes of bytes_ that no entry uses, forgotten ones' included
};

}  // namespace ruzide::registry

#endif  // RUZIDE_PLATFORM_REGISTRY_VALUEINDEX_H_
