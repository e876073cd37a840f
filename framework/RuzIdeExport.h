// RUZIDE_API marks what the RuzIde library exports; everything else is hidden.
#ifndef RUZIDE_FRAMEWORK_RUZIDEEXPORT_H_
#define RUZIDE_FRAMEWORK_RUZIDEEXPORT_H_

#if defined(RUZIDE_STATIC)
#define RUZIDE_API
#elif defined(_WIN32)
#if defined(RUZIDE_BUILDING_LIBRARY)
#define RUZIDE_API __declspec(dllexport)
#else
#define RUZIDE_API __declspec(dllimport)
#endif
#else
#define RUZIDE_API __attribute__((visibility("default")))
#endif

#endif  // RUZIDE_FRAMEWORK_RUZIDEEXPORT_H_
