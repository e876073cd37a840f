// CRegDeclKey: the node that stands for a registry key.
//
// A key holds its children in one ordered array (bind order) and five name maps with
// exact-case keys, owns the children it creates at run time, and offers the operations
// over a key: child lookup and creation, key-relative value access, name enumeration,
// and the subtree operations (cache refresh, write-back, mirroring, deletion).
#ifndef RUZIDE_FRAMEWORK_REGDECLKEY_H_
#define RUZIDE_FRAMEWORK_REGDECLKEY_H_

#include "framework/RegDeclObject.h"
#include "framework/RegDeclValue.h"

class RUZIDE_API CRegDeclKey : public CRegDeclObject {
 public:
  // A key named `name` (a path relative to its parent, possibly several levels), with
  // empty tables; as its last step it records itself in CRegDeclHive::s_aChildren.
  explicit CRegDeclKey(const char* name);
  CRegDeclKey(const CRegDeclKey&) = delete;
  CRegDeclKey& operator=(const CRegDeclKey&) = delete;
  // Deletes the owned children in creation order; writes nothing itself.
  ~CRegDeclKey() override;

  // ---- Node interface ------------------------------------------------------------------
  // Tests whether the key's registry key opens (m_bInRegistry), then ReadCache on every
  // child in bind order. Creates nothing itself.
  void ReadCache() override;
  // Creates the key (its unnamed value set to the REG_DWORD 0), then WriteCache(bForce)
  // on every child in bind order: every key of the subtree is created, values are written
  // when dirty or forced.
  void WriteCache(int bForce) override;
  int IsKey() override;
  // m_pParent->DeleteRegKey(this); 0 for a node without a parent (a hive).
  int Delete() override;

  // Enters `child` in the tables, sets its parent and path (and, when bOwned, its hive
  // and ownership), reads its cache, and marks a value child dirty. Null: nothing.
  virtual void BindChild(CRegDeclObject* child, int bOwned);
  // The child key, else the child value, called `name`, passing over pExcept; or null.
  virtual CRegDeclObject* GetChild(const char* name, CRegDeclObject* pExcept);
  // Removes `child` from the tables (and, when asked, its registry data) and deletes it.
  // A node that is not a child of this key is left alone.
  virtual void RemoveChild(CRegDeclObject* child, int bDeleteFromRegistry);

  // GetChild for the name made by printf-style `format` with the single int n.
  CRegDeclObject* GetChild(const char* format, int n, CRegDeclObject* pExcept);

  // ---- Run-time children -----------------------------------------------------------------
  // The value child of that name when it is of the asked kind; null when a value child
  // of another kind has the name; otherwise a new owned child of that kind (int: no
  // clamp) bound now, which reads the registry and stays dirty. Null name: null.
  CRegDeclInt* GetChildInt(const char* name, int nDefault);
  CRegDeclString* GetChildString(const char* name, const char* pszDefault);
  CRegDeclBinary* GetChildBinary(const char* name, int nSize);
  // The child key of that name, or a new owned one bound now. Null name: null.
  CRegDeclKey* GetChildKey(const char* name);
  CRegDeclKey* GetChildKeyFormName(const char* format, int n);

  // ---- Key-relative value access: child-based --------------------------------------------
  // Reads answer from the child's cache (creating the child as GetChild... does); a
  // missing child of the right kind gives 0 and leaves the output alone. Writes go
  // through the child's SetValue. Character buffers receive at most `size` characters
  // and a terminating zero, so they must hold size + 1 bytes.
  int ReadStringValue(const char* name, CString& out, const char* def);
  int ReadStringValue(const char* name, char* buf, int size, const char* def);
  int ReadStringFormName(const char* format, int n, CString& out, const char* def);
  int ReadIntValue(const char* name, int def);
  int ReadIntValueFormName(const char* format, int n, int def);
  int ReadBinaryValue(const char* name, unsigned char* buf, int size);
  void WriteStringValue(const char* name, const CString& value);
  void WriteStringValue(const char* name, const char* value, int len);
  void WriteStringValueFormName(const char* format, int n, const CString& value);
  void WriteIntValue(const char* name, int value);
  void WriteIntValueFormName(const char* format, int n, int value);
  void WriteBinaryValue(const char* name, const unsigned char* data, int size);

  // ---- Key-relative value access: path-based (null path: the key's own path) ------------
  // Reads answer from this key's own child only when the path is the key's own path;
  // otherwise they read the registry through the hive, creating a missing key, with the
  // default as fallback. They return 1 (the int overload without out returns the int).
  int ReadStringValue(const char* path, const char* name, CString& out, const char* def);
  int ReadStringValue(const char* path, const char* name, char* buf, int size, const char* def);
  int ReadIntValue(const char* path, const char* name, int& out, int def);
  int ReadIntValue(const char* path, const char* name, int def);
  // Reads what WriteBinaryValue(path, name, ...) stored: up to `size` bytes into buf,
  // zero-filled when unreadable. Returns 1.
  int ReadBinaryValue(const char* path, const char* name, unsigned char* buf, int size);
  // Writes go straight to the registry; a child's cache is left as it was.
  void WriteStringValue(const char* path, const char* name, const CString& value);
  void WriteStringValue(const char* path, const char* name, const char* value, int len);
  void WriteIntValue(const char* path, const char* name, int value);
  int WriteBinaryValue(const char* path, const char* name, const unsigned char* data, int size);

  // Subkeys and values that the registry holds under the key's own path; 0 when missing.
  int GetSubKeyCount();
  int GetValueCount();

  // ---- Name enumeration (null path: the key's own path) ----------------------------------
  // Appends the names of the registry's subkeys (type 0) or values of exactly that type
  // under `path` to `list`. With withChildren, the key's own children of that kind come
  // first and registry names already in the list (exact case) are not added again.
  // 1 when the key could be listed, else 0.
  int ReadNames(const char* path, CStringList& list, int type, int withChildren);
  int ReadKeyNames(const char* path, CStringList& list, int withChildren);     // list kept
  int ReadStringNames(const char* path, CStringList& list, int withChildren);  // emptied
  int ReadIntNames(const char* path, CStringList& list, int withChildren);     // emptied
  int ReadBinaryNames(const char* path, CStringList& list, int withChildren);  // emptied
  // Strings, then ints, then binaries, each pass only when the previous one succeeded.
  int ReadValueNames(const char* path, CStringList& list, int withChildren);

  // ---- Subtree operations ----------------------------------------------------------------
  // Creates clean owned children for every subkey and REG_SZ, REG_DWORD and REG_BINARY
  // value the registry holds under the key that the key has no child of that kind for,
  // and mirrors the subkeys it creates.
  void MirrorRegistry();
  // Removes from `names` the first exact match of each key of `map`.
  void RemoveExistingChildren(CStringList& names, CMapStringToPtr& map);
  // Deletes pKey's subtree from the registry, children first; 1 when pKey's own key was
  // deleted. Values below are made clean; no node is destroyed.
  int DeleteRegKey(CRegDeclKey* pKey);
  // Deletes pValue's registry value; 1 on success.
  int DeleteRegValue(CRegDeclValue* pValue);

  CRegDeclObjectArray m_aChildren;  // every child, in bind order; not owning
  CMapStringToPtr m_mapValues;      // name -> value child of any of the three kinds
  CMapStringToPtr m_mapKeys;        // name -> child key
  CMapStringToPtr m_mapInts;        // name -> CRegDeclInt child
  CMapStringToPtr m_mapStrings;     // name -> CRegDeclString child
  CMapStringToPtr m_mapBinaries;    // name -> CRegDeclBinary child
  CTypedPtrList<CPtrList, CRegDeclObject*> m_listOwned;  // children created at run time

 protected:
  // The key part of a hive: no name, not recorded.
  CRegDeclKey();
};

#endif  // RUZIDE_FRAMEWORK_REGDECLKEY_H_
