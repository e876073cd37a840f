// The library's copy of every member of the current-user classes (see CMakeLists.txt).
#include "schema/RegCmnCUser.h"
