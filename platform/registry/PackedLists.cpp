#include "platform/registry/PackedLists.h"

#include "platform/registry/HashSlots.h"
#include "platform/registry/Unaligned.h"

namespace ruzide::registry {

namespace {

constexpr size_t kFirstSlots = 64;
constexpr size_t kMaxNameSize = 0xffff;  // what two bytes of length can give
// 2 MB of bits: a walk over a million keys, offering two lists a key, leaves one bit in
// eight set, so the first walk packs fewer than one list in eight.
constexpr int kOfferedBitsLog2 = 24;

// A list's probe starts anywhere (HashProbe): a key's two lists are found one after the
// other in a walk, by the record after the last, and rarely by their slots.

int64_t Tag(int64_t key, const std::vector<SubkeyEntry>*) { return key * 2; }
int64_t Tag(int64_t key, const std::vector<ValueEntry>*) { return key * 2 + 1; }

// A subkey: its last-write time (8 bytes), the sizes of its name (2) and class (4), the
// name, the class.
constexpr size_t kSubkeyHeader = 14;

size_t PackedSize(const SubkeyEntry& entry) {
  return kSubkeyHeader + entry.name.size() + entry.key_class.size();
}

void Pack(const SubkeyEntry& entry, std::string* bytes) {
  char header[kSubkeyHeader];
  StoreUnaligned<int64_t>(header, entry.last_write);
  StoreUnaligned<uint16_t>(header + 8, static_cast<uint16_t>(entry.name.size()));
  StoreUnaligned<uint32_t>(header + 10, static_cast<uint32_t>(entry.key_class.size()));
  bytes->append(header, kSubkeyHeader).append(entry.name).append(entry.key_class);
}

const char* Unpack(const char* at, SubkeyEntry* entry) {
  entry->last_write = LoadUnaligned<int64_t>(at);
  const size_t name = LoadUnaligned<uint16_t>(at + 8);
  const size_t key_class = LoadUnaligned<uint32_t>(at + 10);
  at += kSubkeyHeader;
  entry->name.assign(at, name);
  entry->key_class.assign(at + name, key_class);
  return at + name + key_class;
}

// A value: its type (4 bytes), the sizes of its data (4) and name (2), the name, the data.
constexpr size_t kValueHeader = 10;

size_t PackedSize(const ValueEntry& entry) {
  return kValueHeader + entry.name.size() + entry.value.data.size();
}

void Pack(const ValueEntry& entry, std::string* bytes) {
  char header[kValueHeader];
  StoreUnaligned<uint32_t>(header, entry.value.type);
  StoreUnaligned<uint32_t>(header + 4, static_cast<uint32_t>(entry.value.data.size()));
  StoreUnaligned<uint16_t>(header + 8, static_cast<uint16_t>(entry.name.size()));
  bytes->append(header, kValueHeader).append(entry.name).append(entry.value.data);
}

const char* Unpack(const char* at, ValueEntry* entry) {
  entry->value.type = LoadUnaligned<uint32_t>(at);
  const size_t data = LoadUnaligned<uint32_t>(at + 4);
  const size_t name = LoadUnaligned<uint16_t>(at + 8);
  at += kValueHeader;
  entry->name.assign(at, name);
  entry->value.data.assign(at + name, data);
  return at + name + data;
}

}  // namespace

bool PackedLists::Find(int64_t key, std::vector<SubkeyEntry>* list) const {
  return FindList(Tag(key, list), list);
}

bool PackedLists::Find(int64_t key, std::vector<ValueEntry>* list) const {
  return FindList(Tag(key, list), list);
}

void PackedLists::Put(int64_t key, const std::vector<SubkeyEntry>& list) {
  PutList(Tag(key, &list), list);
}

void PackedLists::Put(int64_t key, const std::vector<ValueEntry>& list) {
  PutList(Tag(key, &list), list);
}

void PackedLists::Clear() {
  std::vector<Slot>().swap(slots_);
  std::string().swap(bytes_);
  used_ = 0;
  next_ = 0;
}

const char* PackedLists::FindRecord(int64_t tag) const {
  size_t at = next_;
  if (at >= bytes_.size() || LoadUnaligned<int64_t>(bytes_.data() + at) != tag) {
    if (slots_.empty()) return nullptr;
    const uint32_t hash = MixBits(static_cast<uint64_t>(tag));
    const Slot& slot = slots_[ProbeLines(slots_, HashProbe(hash), [&](const Slot& slot) {
      return slot.at == kFree ||
             (slot.hash == hash && LoadUnaligned<int64_t>(bytes_.data() + slot.at) == tag);
    })];
    if (slot.at == kFree) return nullptr;
    at = slot.at;
  }
  const char* record = bytes_.data() + at;
  next_ = at + LoadUnaligned<uint32_t>(record + kSizeAt);
  return record;
}

template <typename Entry>
bool PackedLists::FindList(int64_t tag, std::vector<Entry>* list) const {
  const char* at = FindRecord(tag);
  if (at == nullptr) return false;
  list->resize(LoadUnaligned<uint32_t>(at + kCountAt));
  at += kHeader;
  for (Entry& entry : *list) at = Unpack(at, &entry);
  return true;
}

template <typename Entry>
void PackedLists::PutList(int64_t tag, const std::vector<Entry>& list) {
  size_t size = kHeader;
  for (const Entry& entry : list) {
    if (entry.name.size() > kMaxNameSize) return;
    size += PackedSize(entry);
  }
  if (used_ >= max_lists_ || bytes_.size() + size > max_bytes_ || !OfferedBefore(tag) ||
      FindRecord(tag) != nullptr) {
    return;
  }
  if ((used_ + 1) * 4 > slots_.size() * 3) GrowSlots();
  const uint32_t hash = MixBits(static_cast<uint64_t>(tag));
  const size_t slot =
      ProbeLines(slots_, HashProbe(hash), [](const Slot& s) { return s.at == kFree; });
  slots_[slot] = Slot{hash, static_cast<uint32_t>(bytes_.size())};
  ++used_;
  char header[kHeader];
  StoreUnaligned<int64_t>(header, tag);
  StoreUnaligned<uint32_t>(header + kCountAt, static_cast<uint32_t>(list.size()));
  StoreUnaligned<uint32_t>(header + kSizeAt, static_cast<uint32_t>(size));
  bytes_.append(header, kHeader);
  for (const Entry& entry : list) Pack(entry, &bytes_);
}

bool PackedLists::OfferedBefore(int64_t tag) {
  if (offered_.empty()) offered_.resize((size_t{1} << kOfferedBitsLog2) / 64);
  const uint32_t bit = MixBits(static_cast<uint64_t>(tag)) >> (32 - kOfferedBitsLog2);
  uint64_t& word = offered_[bit / 64];
  const uint64_t mask = uint64_t{1} << (bit % 64);
  const bool before = (word & mask) != 0;
  word |= mask;
  return before;
}

void PackedLists::GrowSlots() {
  DoubleHashSlots(
      &slots_, kFirstSlots, Slot{0, kFree}, [](const Slot& slot) { return slot.at == kFree; },
      [](const Slot& slot) { return HashProbe(slot.hash); });
}

}  // namespace ruzide::registry
