// The event objects a program waits on for registry changes, with the Windows
// signatures and results.
//
// On Windows they are the system's own (kernel32). Elsewhere they are implemented in
// platform/registry/Events.cpp for the threads of one process: unnamed events only
// (CreateEventA with a name returns null), manual or automatic reset, waits with a
// timeout in milliseconds or INFINITE. A handle that is not an open event makes the calls
// fail: FALSE, or WAIT_FAILED.
#ifndef RUZIDE_PLATFORM_WINEVENT_H_
#define RUZIDE_PLATFORM_WINEVENT_H_

#include "platform/WinTypes.h"

#ifndef _WIN32

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                    LPCSTR lpName);
BOOL SetEvent(HANDLE hEvent);
BOOL ResetEvent(HANDLE hEvent);
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
BOOL CloseHandle(HANDLE hObject);

namespace ruzide::platform {
// A descriptor that polls readable while `event` is signalled, for poll() or epoll; -1
// if `event` is not an open event. It stays valid until the event is closed.
int EventDescriptor(HANDLE event);
}  // namespace ruzide::platform

#endif  // !_WIN32
#endif  // RUZIDE_PLATFORM_WINEVENT_H_
