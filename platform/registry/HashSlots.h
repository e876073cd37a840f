// The slot tables of the store cache's flat indexes (KeyIndex, ValueIndex): open
// addressing over a power-of-two vector of slots, grouped in lines of eight.
//
// A probe reads its home line first, from a place in it on, then further lines a step
// apart. An index gives entries that are used together one home line: a key's values, or
// keys whose ids follow each other, which a walk over a tree visits in turn. Finding them
// all then costs one cache miss where a slot per entry, each in its own place, cost one
// miss each, and past a few hundred thousand entries those misses were most of a lookup.
// The step is odd, so a probe reaches every line, and differs between entries of one home
// line, so that the entries a crowded line cannot hold scatter instead of growing a run
// that every later lookup from that line would have to walk.
#ifndef RUZIDE_PLATFORM_REGISTRY_HASHSLOTS_H_
#define RUZIDE_PLATFORM_REGISTRY_HASHSLOTS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ruzide::registry {

constexpr size_t kLineSlots = 8;

// The high half of a product with an odd constant: a few instructions, which count on a
// lookup that nearly every call makes, and its low bits, which pick the line, depend on
// all the low bits of the input, where ids and hashes differ.
inline uint32_t MixBits(uint64_t x) {
  return static_cast<uint32_t>((x * 0x9e3779b97f4a7c15ULL) >> 32);
}

// A home line for entries found by ids, in a table that walks read in the order of ids:
// `group` is the id, or what the ids that share a line have in common. 64 consecutive
// groups have consecutive lines, a 4 KB page of 8-byte slots, and only the page's place
// is mixed, so a walk over keys made one after another reads the table in order, where
// a mixed line for each was a wait for memory once the table outgrew the processor's
// caches. Ranges of ids a page or more apart still scatter over the table.
//
// Only for tables of kPagedSlots slots or more. A smaller one stays in the caches, and
// with few pages two ranges of ids that meet in one page crowd every line of it: the
// indexes mix each line's place there (WriteCache(1) over 1,000 keys took 4 % longer
// with lines in pages).
constexpr size_t kPagedSlots = size_t{1} << 15;
inline uint32_t PagedLine(uint64_t group) {
  return (MixBits(group >> 6) << 6) | static_cast<uint32_t>(group & 63);
}

// Where a probe starts and how it goes on. Any `line` and `step` will do: they are taken
// modulo the number of lines, and the step made odd.
struct LineProbe {
  size_t line;
  unsigned first;  // the slot of the home line read first, 0 to 7
  size_t step;
};

// The probe of an entry whose home line is anywhere: line, first slot and step all from
// its hash.
inline LineProbe HashProbe(uint32_t hash) { return LineProbe{hash >> 3, hash & 7u, hash >> 24}; }

// The first slot of `probe`'s sequence at which `stop` is true. The table must have a
// slot where it is, and at least kLineSlots slots.
template <typename Slot, typename Stop>
size_t ProbeLines(const std::vector<Slot>& slots, const LineProbe& probe, Stop stop) {
  const size_t line_mask = slots.size() / kLineSlots - 1;
  size_t line = probe.line & line_mask;
  // Most probes end at their first slot: it goes first, on its own.
  const size_t home = line * kLineSlots + probe.first;
  if (stop(slots[home])) return home;
  const size_t step = probe.step | 1;
  for (unsigned i = 1;; ++i) {
    if (i == kLineSlots) {
      line = (line + step) & line_mask;
      i = 0;
    }
    const size_t slot = line * kLineSlots + (probe.first + i) % kLineSlots;
    if (stop(slots[slot])) return slot;
  }
}

// Gives `slots` `size` free slots and puts every used slot that `keep(slot)` accepts back
// in the first free slot of its probe, `probe_of(slot)`. Returns how many it put back.
template <typename Slot, typename IsFree, typename Keep, typename ProbeOf>
size_t RehashSlots(std::vector<Slot>* slots, size_t size, const Slot& free, IsFree is_free,
                   Keep keep, ProbeOf probe_of) {
  std::vector<Slot> old(size, free);
  old.swap(*slots);
  size_t kept = 0;
  for (const Slot& slot : old) {
    if (is_free(slot) || !keep(slot)) continue;
    (*slots)[ProbeLines(*slots, probe_of(slot), is_free)] = slot;
    ++kept;
  }
  return kept;
}

// Gives `slots` `first_size` free slots if it has none, else twice as many, keeping every
// used slot.
template <typename Slot, typename IsFree, typename ProbeOf>
void DoubleHashSlots(std::vector<Slot>* slots, size_t first_size, const Slot& free, IsFree is_free,
                     ProbeOf probe_of) {
  RehashSlots(
      slots, slots->empty() ? first_size : slots->size() * 2, free, is_free,
      [](const Slot&) { return true; }, probe_of);
}

}  // namespace ruzide::registry

#endif  // RUZIDE_PLATFORM_REGISTRY_HASHSLOTS_H_
