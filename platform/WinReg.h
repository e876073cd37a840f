// The registry functions RuzIde uses, with the Windows signatures: the ten the library
// calls, and RegNotifyChangeKeyValue, with which a program learns of changes.
//
// On Windows they are the system's own (advapi32). Elsewhere they are implemented by
// the embedded registry store in platform/registry/, which keeps one SQLite database per
// root in the folder named by RUZIDE_REGISTRY. Each returns ERROR_SUCCESS (0) or a
// Windows error code, and behaves as the Windows registry does for the same arguments.
#ifndef RUZIDE_PLATFORM_WINREG_H_
#define RUZIDE_PLATFORM_WINREG_H_

#include "platform/WinTypes.h"

#ifndef _WIN32

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                   PHKEY phkResult);
LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                     REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                     PHKEY phkResult, LPDWORD lpdwDisposition);
LONG RegCloseKey(HKEY hKey);
LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData);
LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                    const BYTE* lpData, DWORD cbData);
LONG RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                      LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                      LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                      LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime);
LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                   LPDWORD lpReserved, LPSTR lpClass, LPDWORD lpcchClass,
                   PFILETIME lpftLastWriteTime);
LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                   LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);
LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);
// Signals `hEvent` (asynchronous), or returns (synchronous), once the key, or with
// `bWatchSubtree` any key below it, changes as `dwNotifyFilter` asks: subkeys created or
// deleted (REG_NOTIFY_CHANGE_NAME), values set or deleted (REG_NOTIFY_CHANGE_LAST_SET).
// The change may come from any process or thread. Each call watches for one change; a
// key deleted while watched, and closing `hKey`, signal too.
LONG RegNotifyChangeKeyValue(HKEY hKey, BOOL bWatchSubtree, DWORD dwNotifyFilter, HANDLE hEvent,
                             BOOL fAsynchronous);

#endif  // !_WIN32
#endif  // RUZIDE_PLATFORM_WINREG_H_
