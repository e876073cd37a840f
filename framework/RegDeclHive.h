// CRegDeclHive: the root of a declared tree, bound to one predefined registry root.
//
// It keeps the process-wide binding state and is the one place where single values move
// between the tree and the registry. It holds at most one open key at a time
// (m_hOpenKey): the open-key layer opens, transfers and closes it; the path layer does a
// whole open, transfer, close for one value. Callers close before they open again.
#ifndef RUZIDE_FRAMEWORK_REGDECLHIVE_H_
#define RUZIDE_FRAMEWORK_REGDECLHIVE_H_

#include "framework/RegDeclKey.h"
#include "platform/RegTypes.h"

class RUZIDE_API CRegDeclHive : public CRegDeclKey {
 public:
  // Starts a binding pass: empties the parent stack and the recorded children, appends
  // itself to s_aHives, becomes s_pHive and the only entry of s_aParentStack. Write-back
  // mode, no root key yet (every open fails until the root class sets m_hRootKey).
  CRegDeclHive();
  // Deletes the children created under the hive at run time (as every key does, but
  // while the object is still a hive, so that a dirty one among them is written back).
  ~CRegDeclHive() override;

  int IsHive() override;
  CRegDeclHive& GetHive() override;

  void SetWriteCacheOnDelete(int flag);

  // ---- Open-key layer: 1 on success, 0 on failure -------------------------------------
  // Opens `path` (a backslash appended unless it ends in one) below `root` for reading
  // and writing into m_hOpenKey. A missing key fails.
  int OpenKey(HKEY root, const char* path);
  // As OpenKey, creating the key and every missing key above it.
  int CreateKey(HKEY root, const char* path);
  // Closes m_hOpenKey if one is open.
  void Close();
  // Reads a value of the open key: text through a 4096-byte buffer (up to its first
  // zero), an int of at most 4 bytes, or binary data. The value's type is not checked.
  // On failure the output is left as it was.
  int Read(const char* name, CString& out);
  int Read(const char* name, int& out);
  // With a buffer and a nonzero size, reads at most `size` bytes into it. With a null
  // buffer or size 0, allocates (new[]) a buffer of the value's size into `buf`, freeing
  // the old one; the caller owns it. A value of size 0 gives 0.
  int Read(const char* name, unsigned char*& buf, int size);
  // Stores text as REG_SZ with its terminating zero, an int as REG_DWORD, or `size` bytes
  // as REG_BINARY under the open key.
  int Write(const char* name, const char* text);
  int Write(const char* name, int value);
  int Write(const char* name, const unsigned char*& data, int size);

  // ---- Path layer: open (or create), one transfer, close ---------------------------------
  // Writes create the key path; 0 when it cannot be created, else the write's result.
  int WriteString(const char* path, const char* name, const char* text);
  int WriteInt(const char* path, const char* name, int value);
  int WriteBinary(const char* path, const char* name, const unsigned char* data, int size);
  // Reads create the key path; 1 when read, else `out` becomes the default and 0.
  int ReadString(const char* path, const char* name, CString& out, const char* def);
  int ReadInt(const char* path, const char* name, int& out, int def);
  // Opens only. Null path or name: 0, buf untouched. Else 1 when read (a shorter value
  // fills the front of buf); otherwise the first `size` bytes are zeroed and 0.
  int ReadBinary(const char* path, const char* name, unsigned char* buf, int size);
  // Counts of subkeys and values under `path`; 0 when null, missing or unreadable.
  int GetSubKeyCount(const char* path);
  int GetValueCount(const char* path);

  int m_bWriteCacheOnDelete;  // 1: write-back (default); 0: write-through
  HKEY m_hRootKey;            // the predefined root of every path of this hive
  HKEY m_hOpenKey;            // the key currently open, or null

  // ---- Binding state, process-wide -------------------------------------------------------
  static CRegDeclObjectArray s_aHives;        // every hive constructed, in order
  static CRegDeclObjectArray s_aChildren;     // nodes recorded since the pass began
  static CRegDeclObjectArray s_aParentStack;  // keys open during binding, innermost last
  static CRegDeclHive* s_pHive;               // the most recently constructed hive
};

#endif  // RUZIDE_FRAMEWORK_REGDECLHIVE_H_
