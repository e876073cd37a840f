// The slot tables of the store cache's flat indexes (KeyIndex, ValueIndex): open
// addressing with linear probing over a power-of-two vector of slots, each holding a
// name's hash and where its entry is (`at`), or a free marker there.
#ifndef RUZIDE_PLATFORM_REGISTRY_HASHSLOTS_H_
#define RUZIDE_PLATFORM_REGISTRY_HASHSLOTS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ruzide::registry {

// Gives `slots` `first_size` free slots if it has none, else twice as many, and puts
// every used slot back in its new place. A slot is free when its `at` is `free.at`.
template <typename Slot>
void DoubleHashSlots(std::vector<Slot>* slots, size_t first_size, const Slot& free) {
  std::vector<Slot> old(slots->empty() ? first_size : slots->size() * 2, free);
  old.swap(*slots);
  const size_t mask = slots->size() - 1;
  for (const Slot& slot : old) {
    if (slot.at == free.at) continue;
    size_t i = slot.hash & mask;
    while ((*slots)[i].at != free.at) i = (i + 1) & mask;
    (*slots)[i] = slot;
  }
}

}  // namespace ruzide::registry

#endif  // RUZIDE_PLATFORM_REGISTRY_HASHSLOTS_H_
