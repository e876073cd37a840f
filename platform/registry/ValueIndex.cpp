#include "platform/registry/ValueIndex.h"

#include <cstring>

#include "platform/registry/HashSlots.h"
#include "platform/registry/Unaligned.h"

namespace ruzide::registry {

namespace {

constexpr size_t kFirstSlots = 64;
constexpr size_t kMaxNameSize = 0xffff;  // what two bytes of length can give
// Garbage in a smaller buffer is left alone: compacting it would save little.
constexpr size_t kCompactFrom = 64 << 10;

// A value's probe: its key's home line, then steps that differ by name, so that the values
// of a key with more than a line holds spread out.
LineProbe ProbeOf(uint32_t hash) { return LineProbe{hash >> 8, hash & 7u, (hash & 0xffu) * 2}; }

// The bits of a value's hash that its key alone gives: those that pick the home line.
uint32_t KeyBits(int64_t key) { return MixBits(static_cast<uint64_t>(key)) & 0xffffff00u; }

}  // namespace

uint32_t ValueIndex::Hash(int64_t key, std::string_view folded) {
  return KeyBits(key) | (MixBits(std::hash<std::string_view>()(folded)) & 0xffu);
}

bool ValueIndex::Holds(const Slot& slot, int64_t key, std::string_view folded,
                       uint32_t hash) const {
  if (slot.hash != hash) return false;
  const char* record = bytes_.data() + slot.at;
  return LoadUnaligned<int64_t>(record) == key &&
         LoadUnaligned<uint16_t>(record + kNameSizeAt) == folded.size() &&
         std::memcmp(record + kHeader, folded.data(), folded.size()) == 0;
}

size_t ValueIndex::Probe(int64_t key, std::string_view folded, uint32_t hash) const {
  return ProbeLines(slots_, ProbeOf(hash), [&](const Slot& slot) {
    return slot.at == kFree || Holds(slot, key, folded, hash);
  });
}

bool ValueIndex::Find(int64_t key, std::string_view folded, ValueView* value) const {
  if (slots_.empty()) return false;
  const Slot& slot = slots_[Probe(key, folded, Hash(key, folded))];
  if (slot.at == kFree) return false;
  const char* record = bytes_.data() + slot.at;
  const uint32_t size = LoadUnaligned<uint32_t>(record + kSizeAt);
  if ((size & kUnknown) != 0) return false;
  value->present = (size & kAbsent) == 0;
  value->type = LoadUnaligned<uint32_t>(record + kTypeAt);
  value->data = std::string_view(record + kHeader + folded.size(), size & kSizeBits);
  // Walks read values in the order their records were added; the slot of the next record
  // is then the next lookup's cache miss, unless fetched now. The record itself is near.
  // Data rewritten shorter in place leaves `next` inside the old data: the number read
  // there is only a hint, checked before use.
  const size_t next = slot.at + RecordSize(slot.at);
  if (next + kHeader <= bytes_.size()) {
    const uint32_t next_slot = LoadUnaligned<uint32_t>(bytes_.data() + next + kSlotAt);
    if (next_slot < slots_.size()) __builtin_prefetch(&slots_[next_slot]);
  }
  return true;
}

size_t ValueIndex::HomeLine(int64_t key) const {
  return (ProbeOf(KeyBits(key)).line & (slots_.size() / kLineSlots - 1)) * kLineSlots;
}

void ValueIndex::Prefetch(int64_t key) const {
  if (!slots_.empty()) __builtin_prefetch(&slots_[HomeLine(key)]);
}

bool ValueIndex::HoldsValuesOf(int64_t key) const {
  if (slots_.empty()) return false;
  const uint32_t bits = KeyBits(key);
  const size_t home = HomeLine(key);
  for (size_t i = home; i < home + kLineSlots; ++i) {
    const Slot& slot = slots_[i];
    if (slot.at != kFree && (slot.hash & ~0xffu) == bits &&
        LoadUnaligned<int64_t>(bytes_.data() + slot.at) == key) {
      return true;
    }
  }
  return false;
}

size_t ValueIndex::RecordSize(uint32_t at) const {
  const char* record = bytes_.data() + at;
  return kHeader + LoadUnaligned<uint16_t>(record + kNameSizeAt) +
         (LoadUnaligned<uint32_t>(record + kSizeAt) & kSizeBits);
}

bool ValueIndex::Rewrite(Slot* slot, std::string_view folded, const ValueView& value, bool fits) {
  char* record = bytes_.data() + slot->at;
  const uint32_t old_size = LoadUnaligned<uint32_t>(record + kSizeAt) & kSizeBits;
  const size_t size = fits && value.present ? value.data.size() : 0;
  if (size > old_size) return false;
  garbage_ += old_size - size;
  StoreUnaligned<uint32_t>(record + kSizeAt,
                           static_cast<uint32_t>(size) | (!fits            ? kUnknown
                                                          : !value.present ? kAbsent
                                                                           : 0));
  StoreUnaligned<uint32_t>(record + kTypeAt, value.type);
  if (size > 0) std::memcpy(record + kHeader + folded.size(), value.data.data(), size);
  return true;
}

void ValueIndex::Put(int64_t key, std::string_view folded, const ValueView& value, bool add) {
  if (folded.size() > kMaxNameSize) return;
  const size_t data_size = value.present ? value.data.size() : 0;
  const size_t record = kHeader + folded.size() + data_size;
  const bool fits = data_size <= kSizeBits && record <= max_bytes_ / 8;
  const uint32_t hash = Hash(key, folded);
  if (!slots_.empty()) {
    Slot* slot = &slots_[Probe(key, folded, hash)];
    if (slot->at != kFree) {
      if (Rewrite(slot, folded, value, fits)) return;
      // Compacting keeps every entry in its slot, the old record included; clearing
      // leaves the value to be added afresh.
      if (MakeByteRoom(record)) {
        garbage_ += RecordSize(slot->at);
        slot->at = Append(key, folded, value, slot - slots_.data());
        return;
      }
    }
  }
  if (!add || !fits) return;
  if (used_ >= max_values_) Clear();
  MakeByteRoom(record);
  if ((used_ + 1) * 4 > slots_.size() * 3) GrowSlots();
  const size_t i = Probe(key, folded, hash);
  slots_[i] = Slot{hash, Append(key, folded, value, i)};
  ++used_;
}

bool ValueIndex::MakeByteRoom(size_t record) {
  const bool full = bytes_.size() + record > max_bytes_;
  if (!full && (garbage_ * 2 <= bytes_.size() || bytes_.size() < kCompactFrom)) return true;
  // Only a buffer a quarter garbage is compacted, so that each byte compacted was paid
  // for by some bytes of garbage, however often the buffer is near full.
  if (garbage_ * 4 >= bytes_.size()) Compact();
  if (bytes_.size() + record <= max_bytes_) return true;
  Clear();
  return false;
}

// Records keep their order, that in which a walk first read them, on which Find's
// fetching ahead depends: copied in the order of their slots, which is the order of their
// hashes, every lookup of the next walk read a record in a place of its own, and a walk over
// a million keys cost up to twice as much after the first compaction. Each live record's
// start is marked in a bit set, which is then read in order.
void ValueIndex::Compact() {
  std::vector<uint64_t> starts((bytes_.size() + 63) / 64);
  for (const Slot& slot : slots_) {
    if (slot.at != kFree) starts[slot.at / 64] |= uint64_t{1} << (slot.at % 64);
  }
  std::string kept;
  kept.reserve(bytes_.size() - garbage_);
  for (size_t word = 0; word < starts.size(); ++word) {
    for (uint64_t bits = starts[word]; bits != 0; bits &= bits - 1) {
      const uint32_t at = static_cast<uint32_t>(word * 64 + __builtin_ctzll(bits));
      slots_[LoadUnaligned<uint32_t>(bytes_.data() + at + kSlotAt)].at =
          static_cast<uint32_t>(kept.size());
      kept.append(bytes_, at, RecordSize(at));
    }
  }
  bytes_.swap(kept);
  garbage_ = 0;
}

uint32_t ValueIndex::Append(int64_t key, std::string_view folded, const ValueView& value,
                            size_t slot) {
  const uint32_t at = static_cast<uint32_t>(bytes_.size());
  const uint32_t size = value.present ? static_cast<uint32_t>(value.data.size()) : kAbsent;
  char header[kHeader];
  StoreUnaligned<int64_t>(header, key);
  StoreUnaligned<uint32_t>(header + kTypeAt, value.type);
  StoreUnaligned<uint32_t>(header + kSizeAt, size);
  StoreUnaligned<uint32_t>(header + kSlotAt, static_cast<uint32_t>(slot));
  StoreUnaligned<uint16_t>(header + kNameSizeAt, static_cast<uint16_t>(folded.size()));
  bytes_.append(header, kHeader);
  bytes_.append(folded);
  if (value.present) bytes_.append(value.data);
  return at;
}

void ValueIndex::GrowSlots() {
  DoubleHashSlots(
      &slots_, kFirstSlots, Slot{0, kFree}, [](const Slot& slot) { return slot.at == kFree; },
      [](const Slot& slot) { return ProbeOf(slot.hash); });
  for (size_t i = 0; i < slots_.size(); ++i) {
    if (slots_[i].at != kFree) StoreUnaligned<uint32_t>(bytes_.data() + slots_[i].at + kSlotAt, i);
  }
}

void ValueIndex::Clear() {
  std::vector<Slot>().swap(slots_);
  used_ = 0;
  std::string().swap(bytes_);
  garbage_ = 0;
}

}  // namespace ruzide::registry
