#include "platform/registry/ValueIndex.h"

#include <algorithm>
#include <cstring>

#include "platform/registry/HashSlots.h"
#include "platform/registry/Unaligned.h"

namespace ruzide::registry {

namespace {

constexpr size_t kFirstSlots = 64;
constexpr size_t kMaxNameSize = 0xffff;  // what two bytes of length can give
// Garbage in a smaller buffer is left alone: compacting it would save little.
constexpr size_t kCompactFrom = 64 << 10;

// A value's probe in a table of `slots` slots: its key's home line, then steps that
// differ by name, so that the values of a key with more than a line holds spread out.
LineProbe ProbeOf(uint32_t hash, size_t slots) {
  const uint32_t line = hash >> 8;
  return LineProbe{slots < kPagedSlots ? MixBits(line) : line, hash & 7u, (hash & 0xffu) * 2};
}

// The bits of a value's hash that its key alone gives: those that pick the home line, in
// a large table a page of lines for each 64 consecutive ids (PagedLine).
uint32_t KeyBits(int64_t key) { return PagedLine(static_cast<uint64_t>(key)) << 8; }

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
  return ProbeLines(slots_, ProbeOf(hash, slots_.size()), [&](const Slot& slot) {
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
  return (ProbeOf(KeyBits(key), slots_.size()).line & (slots_.size() / kLineSlots - 1)) *
         kLineSlots;
}

void ValueIndex::Prefetch(int64_t key) const {
  if (!slots_.empty()) __builtin_prefetch(&slots_[HomeLine(key)]);
}

bool ValueIndex::IsKeys(const Slot& slot, int64_t key) const {
  return slot.at != kFree && (slot.hash & ~0xffu) == KeyBits(key) &&
         LoadUnaligned<int64_t>(bytes_.data() + slot.at) == key;
}

bool ValueIndex::HoldsValuesOf(int64_t key) const {
  if (slots_.empty()) return false;
  const size_t home = HomeLine(key);
  for (size_t i = home; i < home + kLineSlots; ++i) {
    if (IsKeys(slots_[i], key)) return true;
  }
  return false;
}

size_t ValueIndex::RecordSize(uint32_t at) const {
  const char* record = bytes_.data() + at;
  return kHeader + LoadUnaligned<uint16_t>(record + kNameSizeAt) +
         (LoadUnaligned<uint32_t>(record + kSizeAt) & kSizeBits);
}

bool ValueIndex::IsForgotten(const Slot& slot) const {
  return (LoadUnaligned<uint32_t>(bytes_.data() + slot.at + kSizeAt) & kUnknown) != 0;
}

// A forgotten record is garbage whole, though its key and name stay for probes to compare.
void ValueIndex::ForgetRecord(const Slot& slot) {
  garbage_ += RecordSize(slot.at);
  StoreUnaligned<uint32_t>(bytes_.data() + slot.at + kSizeAt, kUnknown);
  ++forgotten_;
}

void ValueIndex::Revive() {
  --forgotten_;
  most_live_ = std::max(most_live_, live());
}

bool ValueIndex::Rewrite(Slot* slot, std::string_view folded, const ValueView& value, bool fits) {
  const bool forgotten = IsForgotten(*slot);
  if (!fits) {
    if (!forgotten) ForgetRecord(*slot);
    return true;
  }
  char* record = bytes_.data() + slot->at;
  const uint32_t old_size = LoadUnaligned<uint32_t>(record + kSizeAt) & kSizeBits;
  const size_t size = value.present ? value.data.size() : 0;
  if (size > old_size) return false;
  if (forgotten) {
    garbage_ -= kHeader + folded.size();  // the old data stays garbage
    Revive();
  } else {
    garbage_ += old_size - size;
  }
  StoreUnaligned<uint32_t>(record + kSizeAt,
                           static_cast<uint32_t>(size) | (value.present ? 0 : kAbsent));
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
      NoteRecent(slot - slots_.data());
      if (Rewrite(slot, folded, value, fits)) return;
      // The data grew, so the record moves to the end of the buffer. Making room for it
      // may compact the buffer, which moves the entries and drops forgotten ones, or clear
      // everything: the entry is looked for again.
      if (MakeByteRoom(record)) {
        slot = &slots_[Probe(key, folded, hash)];
        if (slot->at != kFree) {
          if (IsForgotten(*slot)) {
            Revive();
          } else {
            garbage_ += RecordSize(slot->at);
          }
          NoteRecent(slot - slots_.data());
          slot->at = Append(key, folded, value, slot - slots_.data());
          return;
        }
      }
    }
  }
  if (!add || !fits) return;
  MakeByteRoom(record);
  MakeSlotRoom();
  const size_t i = Probe(key, folded, hash);
  slots_[i] = Slot{hash, Append(key, folded, value, i)};
  NoteRecent(i);
  ++used_;
  most_live_ = std::max(most_live_, live());
}

void ValueIndex::Forget(int64_t key) {
  if (slots_.empty()) return;
  auto forget = [&](const Slot& slot) {
    if (IsKeys(slot, key) && !IsForgotten(slot)) ForgetRecord(slot);
  };
  const size_t home = HomeLine(key);
  for (size_t i = home; i < home + kLineSlots; ++i) forget(slots_[i]);
  for (uint32_t recent : recent_slots_) {
    if (recent != kNoSlot) forget(slots_[recent]);
  }
}

void ValueIndex::NoteRecent(size_t slot) {
  recent_slots_[next_recent_] = static_cast<uint32_t>(slot);
  next_recent_ = (next_recent_ + 1) % kRecentSlots;
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
// start is marked in a bit set, which is then read in order, or, when few are left, sorted.
void ValueIndex::Compact() {
  if (forgotten_ > 0) DropForgotten();
  std::string kept;
  kept.reserve(bytes_.size() - std::min(garbage_, bytes_.size()));
  auto keep = [&](uint32_t at) {
    slots_[LoadUnaligned<uint32_t>(bytes_.data() + at + kSlotAt)].at =
        static_cast<uint32_t>(kept.size());
    kept.append(bytes_, at, RecordSize(at));
  };
  if (used_ < bytes_.size() / 1024) {
    // Few records left in a large buffer, as after a large tree was deleted: sorted, where
    // a bit set an eighth of the buffer's size would cost a page fault for every 32 KB of
    // the buffer.
    std::vector<uint32_t> starts;
    starts.reserve(used_);
    for (const Slot& slot : slots_) {
      if (slot.at != kFree) starts.push_back(slot.at);
    }
    std::sort(starts.begin(), starts.end());
    for (uint32_t at : starts) keep(at);
  } else {
    std::vector<uint64_t> starts((bytes_.size() + 63) / 64);
    for (const Slot& slot : slots_) {
      if (slot.at != kFree) starts[slot.at / 64] |= uint64_t{1} << (slot.at % 64);
    }
    for (size_t word = 0; word < starts.size(); ++word) {
      for (uint64_t bits = starts[word]; bits != 0; bits &= bits - 1) {
        keep(static_cast<uint32_t>(word * 64 + __builtin_ctzll(bits)));
      }
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

void ValueIndex::MakeSlotRoom() {
  if (used_ < max_values_ && (used_ + 1) * 4 <= slots_.size() * 3) return;
  // With a quarter or more of the entries forgotten, dropping them makes the room, where
  // the table would double or start afresh; each entry dropped paid for its share.
  if (forgotten_ > 0 && forgotten_ * 4 >= used_) Compact();
  if (used_ >= max_values_) Clear();
  if ((used_ + 1) * 4 > slots_.size() * 3) GrowSlots();
}

void ValueIndex::DropForgotten() {
  // A table left mostly empty, as after a large tree was deleted, shrinks: a new one of the
  // old size cost a page fault for every 512 slots, more than all the rest of the work.
  size_t size = slots_.size();
  while (size > kFirstSlots && live() * 8 <= size) size /= 2;
  used_ = RehashSlots(
      &slots_, size, Slot{0, kFree}, [](const Slot& slot) { return slot.at == kFree; },
      [this](const Slot& slot) { return !IsForgotten(slot); },
      [this](const Slot& slot) { return ProbeOf(slot.hash, slots_.size()); });
  forgotten_ = 0;
  NoteSlots();
}

void ValueIndex::GrowSlots() {
  DoubleHashSlots(
      &slots_, kFirstSlots, Slot{0, kFree}, [](const Slot& slot) { return slot.at == kFree; },
      [this](const Slot& slot) { return ProbeOf(slot.hash, slots_.size()); });
  NoteSlots();
}

void ValueIndex::NoteSlots() {
  recent_slots_.fill(kNoSlot);
  for (size_t i = 0; i < slots_.size(); ++i) {
    if (slots_[i].at != kFree) StoreUnaligned<uint32_t>(bytes_.data() + slots_[i].at + kSlotAt, i);
  }
}

void ValueIndex::Clear() {
  std::vector<Slot>().swap(slots_);
  recent_slots_.fill(kNoSlot);
  used_ = 0;
  forgotten_ = 0;
  most_live_ = 0;
  std::string().swap(bytes_);
  garbage_ = 0;
}

}  // namespace ruzide::registry
