#include "RegCompare.h"

#include <strings.h>

#include <vector>

#include "ExitStatus.h"
#include "RegKey.h"
#include "RegValue.h"

namespace ruzide {
namespace tool {

namespace {

// Finds `name` among `values` as the registry matches names; nullptr when absent.
const RegValue* FindValue(const std::vector<RegValue>& values, const std::string& name) {
  for (const RegValue& value : values) {
    if (strcasecmp(value.name.c_str(), name.c_str()) == 0) return &value;
  }
  return nullptr;
}

bool HasSubkey(const std::vector<std::string>& names, const std::string& name) {
  for (const std::string& n : names) {
    if (strcasecmp(n.c_str(), name.c_str()) == 0) return true;
  }
  return false;
}

class Comparison {
 public:
  Comparison(const std::string* value, bool subtree, CompareOutput output, FILE* out)
      : value_(value), subtree_(subtree), output_(output), out_(out) {}

  // Compares the pair and, with /s, the pairs below. On failure `failed` is the key that
  // could not be read.
  LONG Pair(const RegPath& left, const RegPath& right, RegPath* failed) {
    KeyContents l, r;
    LONG status = Read(left, &l, failed);
    if (status == ERROR_SUCCESS) status = Read(right, &r, failed);
    if (status != ERROR_SUCCESS) return status;
    if (value_ != nullptr) {
      Values(l, r, FindValue(l.values, *value_), FindValue(r.values, *value_));
    } else {
      for (const RegValue& lv : l.values) Values(l, r, &lv, FindValue(r.values, lv.name));
      for (const RegValue& rv : r.values) {
        if (FindValue(l.values, rv.name) == nullptr) Values(l, r, nullptr, &rv);
      }
      for (const std::string& name : l.subkeys) {
        const bool both = HasSubkey(r.subkeys, name);
        Line(both ? '=' : '<', "Key: " + Printable(left.Child(name).Full()));
      }
      for (const std::string& name : r.subkeys) {
        if (!HasSubkey(l.subkeys, name)) Line('>', "Key: " + Printable(right.Child(name).Full()));
      }
    }
    if (!subtree_) return ERROR_SUCCESS;
    for (const std::string& name : l.subkeys) {
      if (!HasSubkey(r.subkeys, name)) continue;
      status = Pair(left.Child(name), right.Child(name), failed);
      if (status != ERROR_SUCCESS) return status;
    }
    return ERROR_SUCCESS;
  }

  bool different() const { return different_; }
  bool found() const { return found_; }

 private:
  static LONG Read(const RegPath& path, KeyContents* contents, RegPath* failed) {
    std::vector<KeyContents> keys;
    const LONG status = ReadTree(path, false, &keys, failed);
    if (status == ERROR_SUCCESS) *contents = keys[0];
    return status;
  }

  // Compares one value of either side; nullptr where that side lacks it.
  void Values(const KeyContents& l, const KeyContents& r, const RegValue* lv, const RegValue* rv) {
    if (lv == nullptr && rv == nullptr) return;
    found_ = true;
    if (lv != nullptr && rv != nullptr && lv->type == rv->type && lv->data == rv->data) {
      Line('=', ValueText(l.path, *lv));
      return;
    }
    if (lv != nullptr) Line('<', ValueText(l.path, *lv));
    if (rv != nullptr) Line('>', ValueText(r.path, *rv));
  }

  static std::string ValueText(const RegPath& key, const RegValue& value) {
    const std::string data = DataForDisplay(value);
    return "Value: " + Printable(key.Full()) + "  " +
           (value.name.empty() ? "(Default)" : Printable(value.name)) + "  " +
           TypeName(value.type) + (data.empty() ? "" : "  " + data);
  }

  void Line(char side, const std::string& text) {
    const bool match = side == '=';
    if (!match) different_ = true;
    const bool shown =
        output_ == CompareOutput::kAll ||
        (match ? output_ == CompareOutput::kMatches : output_ == CompareOutput::kDifferences);
    if (shown) fprintf(out_, "%c %s\n", side, text.c_str());
  }

  const std::string* value_;
  bool subtree_;
  CompareOutput output_;
  FILE* out_;
  bool different_ = false;
  bool found_ = false;
};

}  // namespace

int CompareKeys(const RegPath& left, const RegPath& right, const std::string* value, bool subtree,
                CompareOutput output, FILE* out, FILE* err) {
  Comparison comparison(value, subtree, output, out);
  RegPath failed;
  const LONG status = comparison.Pair(left, right, &failed);
  if (status != ERROR_SUCCESS) {
    fprintf(err, "ruzide: cannot read %s: %s\n", Printable(failed.Full()).c_str(),
            ErrorText(status).c_str());
    return kExitFailure;
  }
  if (value != nullptr && !comparison.found()) {
    fprintf(err, "ruzide: neither key has %s%s: %s\n",
            value->empty() ? "the unnamed value" : ("value '" + Printable(*value) + "'").c_str(),
            subtree ? ", nor any pair of keys below them" : "",
            ErrorText(ERROR_FILE_NOT_FOUND).c_str());
    return kExitFailure;
  }
  fprintf(out, "Result Compared: %s\n", comparison.different() ? "Different" : "Identical");
  return comparison.different() ? kExitDifferent : kExitOk;
}

}  // namespace tool
}  // namespace ruzide
