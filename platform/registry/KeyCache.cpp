#include "platform/registry/KeyCache.h"

namespace ruzide::registry {

namespace {
constexpr size_t kMaxEntries = 1 << 18;
}  // namespace

void KeyCache::Reset(uint64_t tag) {
  tag_ = tag;
  subkeys_.clear();
  alive_.clear();
  values_.clear();
  classes_.clear();
  ForgetLists();
}

void KeyCache::ForgetLists() {
  subkey_lists_.clear();
  value_lists_.clear();
  times_.clear();
}

void KeyCache::MakeRoom() {
  if (subkeys_.size() + alive_.size() + values_.size() + times_.size() + classes_.size() >=
      kMaxEntries) {
    Reset(tag_);
  }
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

SubkeyList KeyCache::FindSubkeys(int64_t key) const {
  auto found = subkey_lists_.find(key);
  return found == subkey_lists_.end() ? nullptr : found->second;
}

void KeyCache::PutSubkeys(int64_t key, SubkeyList list) { subkey_lists_[key] = std::move(list); }

ValueList KeyCache::FindValues(int64_t key) const {
  auto found = value_lists_.find(key);
  return found == value_lists_.end() ? nullptr : found->second;
}

void KeyCache::PutValues(int64_t key, ValueList list) { value_lists_[key] = std::move(list); }

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
