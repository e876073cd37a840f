#include "platform/registry/KeyCache.h"

namespace ruzide::registry {

namespace {

// Enough for every key and value of a store of a million keys with three values each,
// some 5 million entries of about 100 bytes: a cache that started afresh whenever a walk
// over a large tree filled it missed on nearly every lookup of the next walk, which made
// a read cost ten times more at 100,000 keys than at 1,000. Only what is looked up is
// held, so a process that uses a few keys of a large store holds a few entries.
constexpr size_t kMaxEntries = 1 << 23;

// A write adds an entry for a value only while fewer values than this are held (some
// 75 MB): enough for every value a program writes to a tree of 100,000 keys and then
// writes again unchanged, while an import of a million values, which reads none of them,
// holds no more than this.
constexpr size_t kMaxWrittenValues = 1 << 19;

// The lists (and times) are all forgotten when the lists would hold more than this. It holds every
// list of a tree of 100,000 keys of a few values, which a walk reads again and again, while an
// export, which reads each key's list once, holds no more than this however large the
// tree.
constexpr size_t kMaxListBytes = 64 << 20;

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

// Empties `map` and gives back its bucket array. clear() keeps the buckets and zeroes
// them all, even in a map that is empty already: after one large listing, each write's
// ForgetLists cost a memset of megabytes, the main reason a write grew slower with the
// size of the store.
template <typename Map>
void Forget(Map& map) {
  if (!map.empty()) Map().swap(map);
}

}  // namespace

void KeyCache::Reset(uint64_t tag) {
  tag_ = tag;
  ++epoch_;
  Forget(subkeys_);
  Forget(alive_);
  Forget(values_);
  Forget(classes_);
  ForgetLists();
}

void KeyCache::ForgetLists() {
  Forget(subkey_lists_);
  Forget(value_lists_);
  Forget(times_);
  list_bytes_ = 0;
}

size_t KeyCache::Entries() const {
  return subkeys_.size() + alive_.size() + values_.size() + times_.size() + classes_.size();
}

void KeyCache::MakeRoom() {
  if (Entries() >= kMaxEntries) Reset(tag_);
}

void KeyCache::MakeListRoom(size_t bytes) {
  if (list_bytes_ + bytes > kMaxListBytes) ForgetLists();
  list_bytes_ += bytes;
}

bool KeyCache::FindSubkey(int64_t parent, const std::string& folded, int64_t* id) const {
  auto found = subkeys_.find(NameKey{parent, folded});
  if (found == subkeys_.end()) return false;
  *id = found->second;
  return true;
}

void KeyCache::PutSubkey(int64_t parent, const std::string& folded, int64_t id) {
  MakeRoom();
  subkeys_[NameKey{parent, folded}] = id;
  if (id != 0) alive_[id] = true;
  if (id == 0) ++epoch_;
}

bool KeyCache::FindAlive(int64_t key, bool* alive) const {
  auto found = alive_.find(key);
  if (found == alive_.end()) return false;
  *alive = found->second;
  return true;
}

void KeyCache::PutAlive(int64_t key, bool alive) {
  MakeRoom();
  alive_[key] = alive;
  if (!alive) ++epoch_;
}

bool KeyCache::FindValue(int64_t key, const std::string& folded, const StoredValue** value) const {
  auto found = values_.find(NameKey{key, folded});
  if (found == values_.end()) return false;
  *value = found->second.present ? &found->second.value : nullptr;
  return true;
}

void KeyCache::PutValue(int64_t key, const std::string& folded, const StoredValue* value) {
  MakeRoom();
  CachedValue& entry = values_[NameKey{key, folded}];
  entry.present = value != nullptr;
  entry.value = value != nullptr ? *value : StoredValue();
}

void KeyCache::PutWrittenValue(int64_t key, const std::string& folded, StoredValue value) {
  auto found = values_.find(NameKey{key, folded});
  if (found != values_.end()) {
    found->second.present = true;
    found->second.value = std::move(value);
  } else if (values_.size() < kMaxWrittenValues) {
    values_.emplace(NameKey{key, folded}, CachedValue{true, std::move(value)});
  }
}

SubkeyList KeyCache::FindSubkeys(int64_t key) const {
  auto found = subkey_lists_.find(key);
  return found == subkey_lists_.end() ? nullptr : found->second;
}

void KeyCache::PutSubkeys(int64_t key, SubkeyList list) {
  MakeListRoom(ListBytes(*list));
  subkey_lists_[key] = std::move(list);
}

ValueList KeyCache::FindValues(int64_t key) const {
  auto found = value_lists_.find(key);
  return found == value_lists_.end() ? nullptr : found->second;
}

void KeyCache::PutValues(int64_t key, ValueList list) {
  MakeListRoom(ListBytes(*list));
  value_lists_[key] = std::move(list);
}

bool KeyCache::FindLastWriteTime(int64_t key, int64_t* time) const {
  auto found = times_.find(key);
  if (found == times_.end()) return false;
  *time = found->second;
  return true;
}

void KeyCache::PutLastWriteTime(int64_t key, int64_t time) {
  MakeRoom();
  times_[key] = time;
}

bool KeyCache::FindClass(int64_t key, std::string* key_class) const {
  auto found = classes_.find(key);
  if (found == classes_.end()) return false;
  *key_class = found->second;
  return true;
}

void KeyCache::PutClass(int64_t key, const std::string& key_class) {
  MakeRoom();
  classes_[key] = key_class;
}

}  // namespace ruzide::registry
