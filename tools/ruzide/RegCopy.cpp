#include "RegCopy.h"

#include <strings.h>

#include <string>
#include <vector>

#include "ExitStatus.h"
#include "Question.h"
#include "RegKey.h"
#include "framework/registry_calls/Transaction.h"

namespace ruzide {
namespace tool {

namespace {

#ifdef _WIN32
// The system registry has no store transaction: what was written stays.
const char kNothingCopied[] = "; what came before it was copied";
#else
const char kNothingCopied[] = "; nothing was copied";
#endif

// Whether `inner` is `outer` itself or lies below it; names compare as the registry
// compares them, without regard to the case of ASCII letters.
bool Within(const RegPath& inner, const RegPath& outer) {
  if (inner.root != outer.root) return false;
  const size_t n = outer.sub.size();
  if (n == 0) return true;
  if (inner.sub.size() < n || strncasecmp(inner.sub.c_str(), outer.sub.c_str(), n) != 0) {
    return false;
  }
  return inner.sub.size() == n || inner.sub[n] == '\\';
}

// Where `path`, a key at or below `from`, goes below `to`.
RegPath Destination(const RegPath& path, const RegPath& from, const RegPath& to) {
  if (path.sub.size() == from.sub.size()) return to;
  return to.Child(path.sub.substr(from.sub.empty() ? 0 : from.sub.size() + 1));
}

// Asks, for each value of `keys` that its destination already has, whether to replace
// it, and drops those the user keeps. False when the input ended without an answer.
bool Confirm(std::vector<KeyContents>* keys, const RegPath& from, const RegPath& to, FILE* in,
             FILE* out) {
  bool all = false;
  for (KeyContents& key : *keys) {
    const RegPath destination = Destination(key.path, from, to);
    RegKey existing;
    if (existing.Open(destination, KEY_READ) != ERROR_SUCCESS) continue;
    std::vector<RegValue> kept;
    for (RegValue& value : key.values) {
      RegValue old;
      Answer answer = Answer::kYes;
      if (!all && existing.Query(value.name, &old) == ERROR_SUCCESS) {
        answer = Ask("Overwrite " + ValueLabel(value.name) + " of " + destination.Shown() + "?",
                     true, in, out);
      }
      if (answer == Answer::kNone) return false;
      all = all || answer == Answer::kAll;
      if (answer != Answer::kNo) kept.push_back(value);
    }
    key.values.swap(kept);
  }
  return true;
}

// Writes `keys` to their destinations. On failure `what` says what could not be done.
LONG Write(const std::vector<KeyContents>& keys, const RegPath& from, const RegPath& to,
           std::string* what) {
  for (const KeyContents& key : keys) {
    const RegPath destination = Destination(key.path, from, to);
    RegKey copy;
    *what = "create " + destination.Shown();
    LONG status = copy.Create(destination);
    for (size_t i = 0; status == ERROR_SUCCESS && i < key.values.size(); ++i) {
      *what = "set " + ValueLabel(key.values[i].name) + " of " + destination.Shown();
      status = copy.Set(key.values[i]);
    }
    if (status != ERROR_SUCCESS) return status;
  }
  return ERROR_SUCCESS;
}

}  // namespace

int CopyKey(const RegPath& from, const RegPath& to, bool subtree, bool force, FILE* in, FILE* out,
            FILE* err) {
  if (Within(to, from) && Within(from, to)) {
    return Failure(err, "cannot copy " + from.Shown() + " onto itself");
  }
  // Copied key by key, the copy would itself be copied again below, without end.
  if (subtree && Within(to, from)) {
    return Failure(
        err, "cannot copy " + from.Shown() + " with /s into " + to.Shown() + ", a key below it");
  }
  std::vector<KeyContents> keys;
  RegPath failed;
  LONG status = ERROR_SUCCESS;
  // The questions come before the transaction, which must not wait for the user; with
  // /f the source is read inside it too, so the copy is of one moment's source.
  if (!force) {
    status = ReadTree(from, subtree, &keys, &failed);
    if (status == ERROR_SUCCESS && !Confirm(&keys, from, to, in, out)) {
      return Failure(err,
                     "no answer on standard input; nothing was copied (add /f to replace "
                     "existing values without asking)");
    }
  }
  store::Transaction batch;
  if (force) status = ReadTree(from, subtree, &keys, &failed);
  if (status != ERROR_SUCCESS) {
    batch.Rollback();
    return Failure(err, "cannot read " + failed.Shown() + ": " + ErrorText(status));
  }
  std::string what;
  status = Write(keys, from, to, &what);
  if (status != ERROR_SUCCESS) {
    batch.Rollback();
    return Failure(err, "cannot " + what + ": " + ErrorText(status) + kNothingCopied);
  }
  if ((status = batch.Commit()) != ERROR_SUCCESS) {
    return Failure(
        err, "cannot copy to " + to.Shown() + ": " + ErrorText(status) + "; nothing was copied");
  }
  return kExitOk;
}

}  // namespace tool
}  // namespace ruzide
