// Where a value of HKEY_LOCAL_MACHINE that the library read comes from: the machine's own
// key, or the user's virtual copy of it (docs/store.md, "Virtualization"). Found through
// the registry functions alone, as any program could.
#ifndef RUZIDE_TOOLS_RUZIDE_MACHINESOURCE_H_
#define RUZIDE_TOOLS_RUZIDE_MACHINESOURCE_H_

#include <string>

namespace ruzide {
namespace tool {

// "virtual copy" when this process sees HKEY_LOCAL_MACHINE\<subkey> through a virtual
// copy that holds the value `name`, else "machine". `subkey` is the key's path below the
// root. Asks only about a value the library found in the registry: for one it did not,
// the source is the default.
const char* MachineValueSource(const std::string& subkey, const std::string& name);

}  // namespace tool
}  // namespace ruzide

#endif  // RUZIDE_TOOLS_RUZIDE_MACHINESOURCE_H_
