// The commands of the ruzide tool that need the RuzIde library's trees (`settings`,
// `languages`). They live in a module of their own, ruzide-settings.so (.dll), which
// links the library: loading the library builds its trees, which opens the stores and
// creates their keys, so the tool loads the module only for these commands; `--help`,
// `--version`, a bad command line and the `reg` commands touch no store.
#ifndef RUZIDE_TOOLS_RUZIDE_LIBRARYCOMMANDS_H_
#define RUZIDE_TOOLS_RUZIDE_LIBRARYCOMMANDS_H_

#if defined(_WIN32)
#define RUZIDE_COMMANDS_EXPORT extern "C" __declspec(dllexport)
#else
#define RUZIDE_COMMANDS_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// The module's one entry, by this name: runs `ruzide <argv[1]> ...` for argv[1] one of
// "settings" and "languages", and returns the process exit status.
#define RUZIDE_COMMANDS_ENTRY "RuzideLibraryCommand"
typedef int (*RuzideLibraryCommandFn)(int argc, char** argv);

namespace ruzide {
namespace tool {

// Loads the module from beside the tool (the build tree, and Windows) or from
// <tool>/../<libdir>/ruzide (an installed tree), then runs its entry. When the module
// cannot be loaded, says why on stderr and returns 1.
int RunLibraryCommand(int argc, char** argv);

}  // namespace tool
}  // namespace ruzide

#endif  // RUZIDE_TOOLS_RUZIDE_LIBRARYCOMMANDS_H_
