// The library's copy of every member of the local-machine classes (see CMakeLists.txt).
#include "schema/RegCmnLMach.h"
