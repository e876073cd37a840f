// Emptying a hash map that may once have grown large.
#ifndef RUZIDE_PLATFORM_REGISTRY_FORGETMAP_H_
#define RUZIDE_PLATFORM_REGISTRY_FORGETMAP_H_

namespace ruzide::registry {

// Empties `map` and gives back its bucket array. clear() keeps the buckets and zeroes them
// all, even in a map that is empty already, so a map that a large transaction or listing
// once grew would cost a memset of megabytes each time it was emptied after that.
template <typename Map>
void ForgetMap(Map& map) {
  if (!map.empty()) Map().swap(map);
}

}  // namespace ruzide::registry

#endif  // RUZIDE_PLATFORM_REGISTRY_FORGETMAP_H_
