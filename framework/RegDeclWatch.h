// CRegDeclWatch: follows a declared key and everything below it while the program runs,
// so that changes that other programs (or other parts of this one) make to the registry
// reach the tree's caches.
//
// The watch is used on the application's own thread and fits its event loop: wait on
// GetFileDescriptor (poll or epoll; Linux) or GetEvent (Windows), or call Wait or
// HasChanged, and when a change is signalled call Apply. Apply renews the watch, reads
// again every value below the key that is not dirty, keeps the dirty ones (the
// application's own unsaved changes win), and calls OnChange for each value whose cache
// changed. A write that stores what the cache holds changes nothing and reports nothing,
// so a program that writes in reaction to a change does not loop. Values a key created
// at run time are covered as they are children of the key by then; keys and values
// added to the registry but not to the tree are not (MirrorRegistry adds them).
//
// Not copyable. The watched key must outlive the watch.
#ifndef RUZIDE_FRAMEWORK_REGDECLWATCH_H_
#define RUZIDE_FRAMEWORK_REGDECLWATCH_H_

#include "framework/RegDeclKey.h"
#include "platform/CString.h"
#include "platform/RegTypes.h"

class RUZIDE_API CRegDeclWatch {
 public:
  // Watches `key`'s registry key (created if missing) and every key below it.
  explicit CRegDeclWatch(CRegDeclKey& key);
  CRegDeclWatch(const CRegDeclWatch&) = delete;
  CRegDeclWatch& operator=(const CRegDeclWatch&) = delete;
  virtual ~CRegDeclWatch();

  // 1 when the watch works; 0 when the key could not be opened or watched, in which case
  // nothing is ever signalled.
  int IsValid();
#ifdef _WIN32
  // The event that is signalled while a change waits for Apply.
  HANDLE GetEvent();
#else
  // A descriptor that polls readable while a change waits for Apply; -1 if not valid.
  int GetFileDescriptor();
#endif
  // 1 when a change is signalled within `milliseconds` (0xFFFFFFFF, INFINITE: wait for ever), else 0.
  // HasChanged is Wait(0).
  int Wait(DWORD milliseconds);
  int HasChanged();
  // Renews the watch, then refreshes the caches as described above. Returns the number
  // of values reported to OnChange.
  int Apply();

  // Called by Apply for each value whose cache changed, with the old and new cache as
  // text: an int in decimal, a string as it is, binary bytes as hex pairs ("0a ff").
  // Does nothing; derive to react.
  virtual void OnChange(CRegDeclValue& value, const char* pszOld, const char* pszNew);

 protected:
  // Renews the registry watch, reopening the key if it was deleted.
  void Arm();
  // Refreshes the values of `key`'s subtree; returns how many were reported.
  int Refresh(CRegDeclKey& key);

  CRegDeclKey* m_pKey;  // not owned
  HKEY m_hKey;          // the watched registry key, or null
  HANDLE m_hEvent;      // signalled on a change
};

#endif  // RUZIDE_FRAMEWORK_REGDECLWATCH_H_
