// A counter shared by every process that uses one store, telling readers whether what
// they cached is still what the database holds.
//
// The counter is a 64-bit word in the file that every process of the store maps
// (SharedFile.h). Writers change it in the manner of a seqlock, while they hold the store
// lock (StoreLock.h): odd from just before COMMIT until just after it, then even again. So:
//
//  - while the counter is even and unchanged, no transaction has committed;
//  - a reader may trust data it cached when the counter was even and is still the same;
//  - a reader may cache data it has just read only if the counter was even and did not
//    change from before the read began until after it ended.
//
// A writer that dies between the two steps leaves the counter odd; readers then go to the
// database every time, which is slower but correct, until the next writer moves the
// counter past the odd value. Programs that write the database without this class bypass
// the counter, and other processes' caches then miss their changes.
#ifndef RUZIDE_PLATFORM_REGISTRY_GENERATIONCOUNTER_H_
#define RUZIDE_PLATFORM_REGISTRY_GENERATIONCOUNTER_H_

#include <cstdint>

namespace ruzide::registry {

class GenerationCounter {
 public:
  // Uses the counter at `word`, which this process may move on if `writable`. Until then,
  // and with a null `word`, the counter reads as odd.
  void Attach(uint64_t* word, bool writable);
  void Detach() { Attach(nullptr, false); }

  // The current value; odd when no cache may be trusted.
  uint64_t Load() const;
  static bool Stable(uint64_t value) { return (value & 1) == 0; }

  // For a writer holding the store lock. BeginCommit makes the counter odd (the
  // next odd value if a dead writer left it odd); EndCommit makes it even and returns the
  // new value. Call both around every COMMIT that may have changed the database.
  void BeginCommit();
  uint64_t EndCommit();

 private:
  uint64_t* word_ = nullptr;
  bool writable_ = false;
};

}  // namespace ruzide::registry

#endif  // RUZIDE_PLATFORM_REGISTRY_GENERATIONCOUNTER_H_
