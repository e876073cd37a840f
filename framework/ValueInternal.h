// Helpers shared by the translation units that implement the value kinds. Not exported.
#ifndef RUZIDE_FRAMEWORK_VALUEINTERNAL_H_
#define RUZIDE_FRAMEWORK_VALUEINTERNAL_H_

#include <string>

#include "framework/RegDeclHive.h"
#include "platform/WinTypes.h"

namespace ruzide {
namespace value {

// After a change to the cache: dirty, and in write-through mode written at once.
void MarkChanged(CRegDeclValue& value);

// At destruction a dirty value is written back when its hive is in write-back mode.
bool WritesBackAtDestruction(CRegDeclValue& value);

// The whole data of value `name` under `path`, whatever its type, creating the key path
// as the string and int reads do. 1 when read; `out` is left alone otherwise.
int ReadBytes(CRegDeclHive& hive, const char* path, const char* name, std::string* out);

// Stores `data` as a value of `type` under `path`, creating the key path. 1 on success.
int WriteBytes(CRegDeclHive& hive, const char* path, const char* name, DWORD type,
               const std::string& data);

}  // namespace value
}  // namespace ruzide

#endif  // RUZIDE_FRAMEWORK_VALUEINTERNAL_H_
