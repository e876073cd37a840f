#include "StoreCommands.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "ExitStatus.h"
#include "RegKey.h"
#include "RegPath.h"
#include "WholeFile.h"

#ifndef _WIN32
#include "platform/registry/StoreCare.h"
#endif

namespace ruzide {
namespace tool {

const char kStoreUsage[] =
    "Usage: ruzide store <command> ...\n"
    "\n"
    "Checks, backs up and restores the embedded registry store, while applications keep\n"
    "using it. ROOT is HKEY_CURRENT_USER (HKCU) or HKEY_LOCAL_MACHINE (HKLM); each needs a\n"
    "process that may write the root. Options start with / or -, in any case.\n"
    "\n"
    "Commands:\n"
    "  check [<ROOT>]\n"
    "      check the root's database (both roots if none is named): its header, that it\n"
    "      is a store, its tree and SQLite's integrity check; exit status 1 and the cause\n"
    "      when it is damaged\n"
    "  backup <ROOT> <file> [/y]\n"
    "      write a consistent copy of the root's database to a new file; an existing\n"
    "      file is replaced only with /y\n"
    "  restore <ROOT> <file>\n"
    "      replace the root's whole tree with a backup's, at once for every running\n"
    "      program; a file that is not a sound store is refused and nothing changes\n"
    "\n"
    "Exit status: 0 on success, 1 when the store is damaged or the request could not be\n"
    "carried out, 2 for a bad command line.\n";

namespace {

int UsageError(FILE* err, const std::string& what) {
  fprintf(err, "ruzide: %s\nTry 'ruzide store --help'.\n", what.c_str());
  return kExitUsage;
}

bool IsReplaceOption(const std::string& arg) {
  return arg.size() == 2 && (arg[0] == '/' || arg[0] == '-') && (arg[1] == 'y' || arg[1] == 'Y');
}

// The root named by `text`, a root alone: HKCU, HKEY_LOCAL_MACHINE and so on.
bool ParseRoot(const std::string& text, RegPath* root, std::string* error) {
  if (!ParseRegPath(text, root, error)) return false;
  if (root->sub.empty()) return true;
  *error = "not a root: '" + text + "' (HKEY_CURRENT_USER, HKCU, HKEY_LOCAL_MACHINE or HKLM)";
  return false;
}

#ifndef _WIN32
using registry::BackupStore;
using registry::CheckStore;
using registry::RestoreStore;
using registry::StoreSummary;

// Why a store command could not be carried out on `root`, in words.
std::string Cause(const RegPath& root, LONG status, const std::string& problem) {
  if (!problem.empty()) return problem;
  if (status == ERROR_ACCESS_DENIED) {
    return "this process may not write " + root.Full() +
           " (see RUZIDE_REGISTRY_READONLY and the permissions of its folder), which the store "
           "commands need";
  }
  return ErrorText(status);
}

std::string Short(const RegPath& root) { return root.root == HKEY_CURRENT_USER ? "HKCU" : "HKLM"; }

int CheckOne(const RegPath& root, FILE* out, FILE* err) {
  StoreSummary summary;
  std::string problem;
  const LONG status = CheckStore(root.root, &summary, &problem);
  if (status == ERROR_SUCCESS) {
    fprintf(out, "%s: ok (%s: %lld keys, %lld values, %lld bytes)\n", root.Full().c_str(),
            summary.database.c_str(), static_cast<long long>(summary.keys),
            static_cast<long long>(summary.values), static_cast<long long>(summary.bytes));
    return kExitOk;
  }
  if (status == ERROR_BADDB) {
    return Failure(err, root.Full() + " is damaged: " + summary.database + ": " + problem +
                            "; restore a backup with 'ruzide store restore " + Short(root) +
                            " <file>'");
  }
  return Failure(err, "cannot check " + root.Full() + ": " + Cause(root, status, problem));
}

int Check(const std::vector<std::string>& operands, FILE* out, FILE* err) {
  if (operands.size() > 1) return UsageError(err, "check takes at most one root");
  std::vector<RegPath> roots(1);
  std::string error;
  if (operands.empty()) {
    roots = {RegPath{HKEY_CURRENT_USER, ""}, RegPath{HKEY_LOCAL_MACHINE, ""}};
  } else if (!ParseRoot(operands[0], &roots[0], &error)) {
    return UsageError(err, error);
  }
  int status = kExitOk;
  for (const RegPath& root : roots) {
    if (CheckOne(root, out, err) != kExitOk) status = kExitFailure;
  }
  return status;
}

int Backup(const RegPath& root, const std::string& file, bool replace, FILE* err) {
  struct stat info;
  if (stat(file.c_str(), &info) == 0) {
    if (!S_ISREG(info.st_mode))
      return Failure(err, "cannot back up to " + file + ": not a regular file");
    if (!replace) return Failure(err, file + " exists; /y replaces it");
  }
  LONG status = ERROR_SUCCESS;
  std::string problem;
  // The copy goes to a new file beside the target, reaches the disk, and is renamed over
  // it only when whole and checked, as `reg export` writes.
  const bool written = WriteWholeFileWith(file, [&](const std::string& temporary) {
    status = BackupStore(root.root, temporary, &problem);
    return status == ERROR_SUCCESS;
  });
  if (status != ERROR_SUCCESS) {
    return Failure(err, "cannot back up " + root.Full() + ": " + Cause(root, status, problem) +
                            "; nothing was written");
  }
  if (!written) {
    return Failure(err, "cannot write " + file + ": " + strerror(errno) + "; nothing was written");
  }
  return kExitOk;
}

int Restore(const RegPath& root, const std::string& file, FILE* err) {
  std::string problem;
  const LONG status = RestoreStore(root.root, file, &problem);
  if (status == ERROR_SUCCESS) return kExitOk;
  return Failure(err, "cannot restore " + root.Full() + ": " + Cause(root, status, problem) +
                          "; the store is unchanged");
}
#endif

}  // namespace

int StoreCommand(const std::vector<std::string>& args, FILE* out, FILE* err) {
  const std::string verb = args.empty() ? "" : args[0];
  std::vector<std::string> operands;
  bool replace = false;
  for (size_t i = 1; i < args.size(); ++i) {
    if (IsReplaceOption(args[i]) && verb == "backup") {
      replace = true;
    } else if (args[i].size() > 1 &&
               (args[i][0] == '-' || (args[i][0] == '/' && args[i].size() == 2))) {
      return UsageError(err, "unknown option '" + args[i] + "'");
    } else {
      operands.push_back(args[i]);
    }
  }
  if (verb != "check" && verb != "backup" && verb != "restore") {
    return UsageError(err, "unknown store command '" + verb + "'");
  }
  if (verb != "check" && operands.size() != 2) {
    return UsageError(err, verb + " takes a root and a file");
  }
  RegPath root;
  std::string error;
  if (verb != "check" && !ParseRoot(operands[0], &root, &error)) return UsageError(err, error);
#ifdef _WIN32
  (void)out;
  (void)replace;
  return Failure(err,
                 "the store commands care for the embedded store; on Windows the system "
                 "registry has its own tools");
#else
  if (verb == "check") return Check(operands, out, err);
  if (verb == "backup") return Backup(root, operands[1], replace, err);
  return Restore(root, operands[1], err);
#endif
}

}  // namespace tool
}  // namespace ruzide
