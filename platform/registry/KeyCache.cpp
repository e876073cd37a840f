#include "platform/registry/KeyCache.h"

#include <type_traits>

#include "platform/registry/ForgetMap.h"

namespace ruzide::registry {

namespace {

// Enough for every key of a store of a million keys (1,010,000 in the benchmark tree),
// which a walk over it looks up again and again: a cache that started afresh whenever a
// walk over a large tree filled it missed on nearly every lookup of the next walk, which
// made a read cost ten times more at 100,000 keys than at 1,000. At this bound the index
// takes some 70 to 80 MB and the names up to kMaxNameBytes more; it is also all that an import
// or export of a file of any number of keys holds of them. Only what is looked up is
// held, so a process that uses a few keys of a large store holds a few entries.
constexpr size_t kMaxKeys = (size_t{1} << 21) / 4 * 3;
constexpr size_t kMaxNameBytes = 32 << 20;

// A name found missing, or the name of a key this process created, is added only while
// fewer names than this are held, not counting those of keys deleted: enough for every
// key of the benchmark tree of 100,000 keys, which a program creates and then reads back,
// while an import of a million keys, which opens each once to create it, holds no more
// than this of their names. Past it, such a name is added while fewer are held than were
// once (AddsNewName).
constexpr size_t kMaxNewNames = 1 << 17;

// Enough for the four values of each key of the benchmark tree of a million keys (the
// framework writes an unnamed one to every key it writes), which a walk over it reads, and
// a write-back writes, again and again, in 8 Mi slots of 8 bytes and up to kMaxValueBytes
// of records (some 32 bytes a value of that tree). At three-quarters of 4 Mi slots, the
// index filled and started afresh in each walk over that tree, and a quarter of the
// values a forced write-back wrote were not found: each was rewritten in the database
// where the rest only moved their keys' times. A value past an eighth of this is not held.
constexpr size_t kMaxValues = (size_t{1} << 23) / 4 * 3;
constexpr size_t kMaxValueBytes = 160 << 20;

// The times and classes: enough for those of each key of a million.
constexpr size_t kMaxEntries = 1 << 23;

// A write adds an entry for a value only while fewer values than this are held (some
// 20 MB), not counting those of keys deleted, or when the index holds others of the key's
// values: enough for every value a program writes to a tree of 100,000 keys and then
// writes again unchanged, and for a value written to each key of a larger tree that the
// program has read, while an import of a million values, which reads none of them, holds
// no more than this. A deletion adds the value's absence on the same terms. Past it, such
// an entry is added while fewer values are held than were once (AddsChangedValue).
constexpr size_t kMaxWrittenValues = 1 << 19;

// The lists held at once: every list of a tree of 100,000 keys of a few values, which a
// walk reads again and again. Past it, a new list is held only among the last few
// (KeyCache::HeldLists) and those held stay. A walk over a larger tree, or an export,
// reads each key's list a few times in a row and not again until its next walk: making
// room by forgetting the held lists would cost it the freeing of all of them and the
// regrowth of their maps each time it passed this bound, and still leave the next walk
// none of its first lists, where keeping them gives it those.
constexpr size_t kMaxListBytes = 64 << 20;

// The lists held packed once the ready ones fill their budget: both lists of each key of
// the benchmark tree of a million keys, which take some 160 MB with their slots, where
// ready they took some 500 MB. Past these, packed lists held stay and no more are added.
constexpr size_t kMaxPackedLists = (size_t{1} << 22) / 4 * 3;
constexpr size_t kMaxPackedBytes = 160 << 20;

// Roughly the memory of a list: its elements, and the strings too long to be kept in
// them, beside a fixed cost for the list and its entry.
size_t HeldBytes(const std::string& text) {
  const char* inside = reinterpret_cast<const char*>(&text);
  const bool own = text.data() >= inside && text.data() < inside + sizeof(text);
  return own ? 0 : text.capacity() + 1;
}
size_t HeldBytes(const SubkeyEntry& entry) {
  return HeldBytes(entry.name) + HeldBytes(entry.key_class);
}
size_t HeldBytes(const ValueEntry& entry) {
  return HeldBytes(entry.name) + HeldBytes(entry.value.data);
}

template <typename Entry>
size_t ListBytes(const std::vector<Entry>& list) {
  size_t bytes = 96 + list.capacity() * sizeof(Entry);
  for (const Entry& entry : list) bytes += HeldBytes(entry);
  return bytes;
}

}  // namespace

KeyCache::KeyCache()
    : keys_(kMaxKeys, kMaxNameBytes),
      values_(kMaxValues, kMaxValueBytes),
      packed_lists_(kMaxPackedLists, kMaxPackedBytes) {}

void KeyCache::Reset(uint64_t tag) {
  tag_ = tag;
  ++epoch_;
  keys_.Clear();
  values_.Clear();
  ForgetMap(classes_);
  ForgetLists();
}

void KeyCache::ForgetLists() {
  // Every write forgets the lists, and most writers hold none: forgetting nothing took
  // 9 % of the instructions of a write-back.
  if (!holds_lists_) return;
  holds_lists_ = false;
  subkey_lists_.Clear();
  value_lists_.Clear();
  packed_lists_.Clear();
  ForgetMap(times_);
  list_bytes_ = 0;
}

size_t KeyCache::Entries() const { return times_.size() + classes_.size(); }

void KeyCache::MakeRoom() {
  if (Entries() >= kMaxEntries) Reset(tag_);
}

bool KeyCache::TakeListRoom(size_t bytes) {
  holds_lists_ = true;
  if (list_bytes_ + bytes > kMaxListBytes) return false;
  list_bytes_ += bytes;
  return true;
}

bool KeyCache::FindSubkey(int64_t parent, const std::string& folded, int64_t* id) const {
  return keys_.FindSubkey(parent, folded, id);
}

void KeyCache::PutSubkey(int64_t parent, const std::string& folded, int64_t id) {
  keys_.PutSubkey(parent, folded, id, id != 0 || AddsNewName());
  if (id == 0) ++epoch_;
}

void KeyCache::PutCreatedSubkey(int64_t parent, const std::string& folded, int64_t id) {
  keys_.PutSubkey(parent, folded, id, AddsNewName());
}

// A process that deletes a tree it has walked and creates it again, as a program that
// resets its settings to their defaults does, walks the new tree as it walked the old:
// the new entries take the room the deleted ones held, and no more. One that only
// creates and writes, as an import does, holds no more than the bounds.
bool KeyCache::AddsNewName() const {
  const size_t live = keys_.live_names();
  return live < kMaxNewNames || live < keys_.most_live_names();
}

bool KeyCache::AddsChangedValue(int64_t key) const {
  const size_t live = values_.live();
  return live < kMaxWrittenValues || live < values_.most_live() || values_.HoldsValuesOf(key);
}

void KeyCache::PutAlive(int64_t key, bool alive) {
  keys_.PutAlive(key, alive);
  if (alive) return;
  ++epoch_;
  values_.Forget(key);  // its id never comes back
}

void KeyCache::PutValue(int64_t key, std::string_view folded, const StoredValue* value) {
  values_.Put(key, folded,
              value == nullptr ? ValueView() : ValueView{true, value->type, value->data});
}

void KeyCache::PutWrittenValue(int64_t key, std::string_view folded, uint32_t type,
                               std::string_view data) {
  values_.Put(key, folded, ValueView{true, type, data}, AddsChangedValue(key));
}

void KeyCache::PutDeletedValue(int64_t key, std::string_view folded) {
  values_.Put(key, folded, ValueView(), AddsChangedValue(key));
}

template <typename List>
List KeyCache::HeldLists<List>::Find(int64_t key, const PackedLists& packed) {
  auto found = lists_.find(key);
  if (found != lists_.end()) return found->second;
  for (const auto& [recent_key, list] : recent_) {
    if (list != nullptr && recent_key == key) return list;
  }
  return Unpack(key, packed);
}

template <typename List>
List KeyCache::HeldLists<List>::Unpack(int64_t key, const PackedLists& packed) {
  std::remove_const_t<typename List::element_type> entries;
  if (!packed.Find(key, &entries)) return nullptr;
  List list = std::make_shared<const decltype(entries)>(std::move(entries));
  Put(key, list, false, nullptr);
  return list;
}

template <typename List>
void KeyCache::HeldLists<List>::Put(int64_t key, List list, bool fits, PackedLists* packed) {
  if (fits) {
    lists_[key] = std::move(list);
    return;
  }
  if (packed != nullptr) packed->Put(key, *list);
  recent_[next_recent_] = {key, std::move(list)};
  next_recent_ = (next_recent_ + 1) % kRecent;
}

template <typename List>
void KeyCache::HeldLists<List>::Clear() {
  ForgetMap(lists_);
  recent_ = {};
  next_recent_ = 0;
}

SubkeyList KeyCache::FindSubkeys(int64_t key) { return subkey_lists_.Find(key, packed_lists_); }

void KeyCache::PutSubkeys(int64_t key, SubkeyList list) {
  const bool fits = TakeListRoom(ListBytes(*list));
  subkey_lists_.Put(key, std::move(list), fits, &packed_lists_);
}

ValueList KeyCache::FindValues(int64_t key) { return value_lists_.Find(key, packed_lists_); }

void KeyCache::PutValues(int64_t key, ValueList list) {
  const bool fits = TakeListRoom(ListBytes(*list));
  value_lists_.Put(key, std::move(list), fits, &packed_lists_);
}

bool KeyCache::FindLastWriteTime(int64_t key, int64_t* time) const {
  auto found = times_.find(key);
  if (found == times_.end()) return false;
  *time = found->second;
  return true;
}

void KeyCache::PutLastWriteTime(int64_t key, int64_t time) {
  MakeRoom();
  holds_lists_ = true;
  times_[key] = time;
}

bool KeyCache::FindClass(int64_t key, std::string* key_class) const {
  if (keys_.FindEmptyClass(key)) {
    key_class->clear();
    return true;
  }
  auto found = classes_.find(key);
  if (found == classes_.end()) return false;
  *key_class = found->second;
  return true;
}

void KeyCache::PutClass(int64_t key, const std::string& key_class) {
  if (key_class.empty()) return keys_.PutEmptyClass(key);
  MakeRoom();
  classes_[key] = key_class;
}

}  // namespace ruzide::registry
