#include "RegWatch.h"

#include <chrono>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "AsciiCase.h"
#include "CodePage.h"
#include "ExitStatus.h"
#include "Interrupt.h"
#include "RegKey.h"
#include "platform/WinEvent.h"

namespace ruzide {
namespace tool {

namespace {

// The keys of a subtree and their values, by their names as the registry matches them.
struct KeyState {
  RegPath path;
  std::map<std::string, RegValue> values;
};
using TreeState = std::map<std::string, KeyState>;

TreeState ReadState(const RegPath& path, bool subtree) {
  std::vector<KeyContents> keys;
  RegPath failed;
  // A key deleted while it is read ends the listing early: what was read is what exists.
  ReadTree(path, subtree, &keys, &failed);
  TreeState state;
  for (const KeyContents& key : keys) {
    KeyState& entry = state[AsciiLower(key.path.sub)];
    entry.path = key.path;
    for (const RegValue& value : key.values) entry.values[AsciiLower(value.name)] = value;
  }
  return state;
}

// "2026-12-06 10:04:05.123", local time.
std::string Now() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const long millis = static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  std::tm local = {};
#ifdef _WIN32
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  char text[32];
  size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  std::snprintf(text + length, sizeof text - length, ".%03ld", millis);
  return text;
}

void PrintLine(FILE* out, const std::string& time, const RegPath& key, const std::string& rest) {
  fprintf(out, "%s  %s  %s\n", time.c_str(), TextForDisplay(key.Full(), DefaultCodePage()).c_str(),
          rest.c_str());
}

std::string ValueText(const RegValue& value) {
  // Shown as `reg query` shows them, in the default code page.
  const int code_page = DefaultCodePage();
  const std::string name = value.name.empty() ? "(Default)" : TextForDisplay(value.name, code_page);
  const std::string data = DataForDisplay(value, ValueStyle{code_page});
  return name + "  " + TypeName(value.type) + (data.empty() ? "" : "  " + data);
}

// Prints what changed from `before` to `after`.
void PrintChanges(const TreeState& before, const TreeState& after, FILE* out) {
  const std::string time = Now();
  for (const auto& [name, key] : before) {
    if (after.count(name) == 0) PrintLine(out, time, key.path, "(key deleted)");
  }
  static const KeyState kNone;
  for (const auto& [name, key] : after) {
    auto old = before.find(name);
    const KeyState& was = old != before.end() ? old->second : kNone;
    if (old == before.end()) PrintLine(out, time, key.path, "(key created)");
    for (const auto& [value_name, value] : was.values) {
      if (key.values.count(value_name) == 0) {
        const std::string shown =
            value.name.empty() ? "(Default)" : TextForDisplay(value.name, DefaultCodePage());
        PrintLine(out, time, key.path, shown + "  (value deleted)");
      }
    }
    for (const auto& [value_name, value] : key.values) {
      auto prior = was.values.find(value_name);
      if (prior != was.values.end() && prior->second.type == value.type &&
          prior->second.data == value.data) {
        continue;
      }
      PrintLine(out, time, key.path, ValueText(value));
    }
  }
  fflush(out);
}

// The key at `path` if it exists, else the nearest key above it.
LONG OpenNearest(const RegPath& path, RegKey* key, bool* exact) {
  RegPath at = path;
  for (;;) {
    LONG status = key->Open(at, KEY_READ);
    *exact = at.sub == path.sub;
    if (status != ERROR_FILE_NOT_FOUND || at.sub.empty()) return status;
    size_t slash = at.sub.find_last_of('\\');
    at.sub = slash == std::string::npos ? std::string() : at.sub.substr(0, slash);
  }
}

}  // namespace

int WatchKey(const RegPath& path, bool subtree, FILE* out, FILE* err) {
  RegKey key;
  LONG status = key.Open(path, KEY_READ);
  if (status != ERROR_SUCCESS) {
    fprintf(err, "ruzide: cannot watch %s: %s\n", Printable(path.Full()).c_str(),
            ErrorText(status).c_str());
    return kExitFailure;
  }
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (event == nullptr) {
    fprintf(err, "ruzide: cannot watch %s: no event\n", Printable(path.Full()).c_str());
    return kExitFailure;
  }
  ExitOnInterrupt();
  TreeState state = ReadState(path, subtree);
  for (;;) {
    // Watched again before the key is read, so that no change falls between the two.
    ResetEvent(event);
    bool exact = true;
    status = OpenNearest(path, &key, &exact);
    if (status == ERROR_SUCCESS) status = key.Watch(subtree || !exact, event);
    TreeState now = exact ? ReadState(path, subtree) : TreeState();
    PrintChanges(state, now, out);
    state = now;
    // A key deleted between the open and the watch: look again at once.
    if (status == ERROR_KEY_DELETED) continue;
    if (status != ERROR_SUCCESS) {
      fprintf(err, "ruzide: cannot watch %s: %s\n", Printable(path.Full()).c_str(),
              ErrorText(status).c_str());
      return kExitFailure;
    }
    WaitForSingleObject(event, INFINITE);
  }
}

}  // namespace tool
}  // namespace ruzide
