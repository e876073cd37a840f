#include "platform/registry/GenerationCounter.h"

namespace ruzide::registry {

namespace {
constexpr uint64_t kUnavailable = 1;  // odd: never matches a cache
}  // namespace

void GenerationCounter::Attach(uint64_t* word, bool writable) {
  word_ = word;
  writable_ = word != nullptr && writable;
}

uint64_t GenerationCounter::Load() const {
  if (word_ == nullptr) return kUnavailable;
  return __atomic_load_n(word_, __ATOMIC_SEQ_CST);
}

void GenerationCounter::BeginCommit() {
  if (word_ == nullptr || !writable_) return;
  uint64_t value = __atomic_load_n(word_, __ATOMIC_SEQ_CST);
  __atomic_store_n(word_, Stable(value) ? value + 1 : value + 2, __ATOMIC_SEQ_CST);
}

uint64_t GenerationCounter::EndCommit() {
  if (word_ == nullptr || !writable_) return kUnavailable;
  uint64_t value = __atomic_load_n(word_, __ATOMIC_SEQ_CST);
  if (!Stable(value)) ++value;
  __atomic_store_n(word_, value, __ATOMIC_SEQ_CST);
  return value;
}

}  // namespace ruzide::registry
