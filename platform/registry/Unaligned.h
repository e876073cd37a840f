// Reads and writes of fixed-size fields at any byte of a buffer, for the store cache's
// flat indexes, whose records are packed without padding.
#ifndef RUZIDE_PLATFORM_REGISTRY_UNALIGNED_H_
#define RUZIDE_PLATFORM_REGISTRY_UNALIGNED_H_

#include <cstring>

namespace ruzide::registry {

template <typename T>
T LoadUnaligned(const char* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

template <typename T>
void StoreUnaligned(char* at, T value) {
  std::memcpy(at, &value, sizeof value);
}

}  // namespace ruzide::registry

#endif  // RUZIDE_PLATFORM_REGISTRY_UNALIGNED_H_
