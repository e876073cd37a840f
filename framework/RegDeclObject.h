// CRegDeclObject, the node every element of a declared registry tree is built from, and
// CRegDeclObjectArray, the node pointer array with a cursor that binding runs on.
#ifndef RUZIDE_FRAMEWORK_REGDECLOBJECT_H_
#define RUZIDE_FRAMEWORK_REGDECLOBJECT_H_

#include "framework/RuzIdeExport.h"
#include "platform/CString.h"
#include "platform/Collections.h"

class CRegDeclHive;
class CRegDeclKey;

// A node of a declared registry tree: a key, a hive or a typed value. Node kinds are
// told apart by the six type tests, never by run-time type information.
class RUZIDE_API CRegDeclObject {
 public:
  // Both strings empty, no parent, not in the registry; the hive is the most recently
  // constructed one (CRegDeclHive::s_pHive). Records the node nowhere.
  CRegDeclObject();
  // Copies the five fields as they stand. The copy is recorded and bound nowhere: its
  // parent still knows only the source.
  CRegDeclObject(const CRegDeclObject& other);
  CRegDeclObject& operator=(const CRegDeclObject& other);
  // Does not unhook the node from its parent (that is CRegDeclKey::RemoveChild).
  virtual ~CRegDeclObject();

  // Virtual operations, in this slot order.
  virtual void ReadCache() = 0;
  virtual void WriteCache(int bForce) = 0;
  virtual int IsValue();
  virtual int IsHive();
  virtual int IsBinary();
  virtual int IsKey();
  virtual int IsInt();
  virtual int IsString();
  // 1 when the key `path` below the root of this node's hive can be opened for reading.
  // Uses a handle of its own and never touches the hive's open key.
  virtual int KeyExists(const char* path);
  // Deletes the node's registry data; 0 here, keys and values override it.
  virtual int Delete();
  // The hive that carries out this node's registry I/O.
  virtual CRegDeclHive& GetHive();

  // Writes the node's own registry path, relative to the hive's root key, into `out`:
  // m_strFullPath, a backslash unless it is empty or already ends in one, m_strName.
  void GetFullPath(CString& out);

  int m_bInRegistry;       // nonzero when the node's last registry transfer succeeded
  CString m_strFullPath;   // path of the key that holds the node; no leading backslash
  CString m_strName;       // a value's name, or a key's path relative to its parent
  CRegDeclHive* m_pHive;   // not owned; a hive points to itself
  CRegDeclKey* m_pParent;  // not owned; null until bound, always null for a hive
};

// A growable, non-owning array of node pointers with a cursor m_nIndex.
class RUZIDE_API CRegDeclObjectArray : public CTypedPtrArray<CPtrArray, CRegDeclObject*> {
 public:
  CRegDeclObjectArray();

  void SetIndex(int n);
  void AdjustIndex(int n);
  // 1 when 0 <= cursor < element count.
  int IsIndexValid();
  // The element at the cursor, or null when the cursor is not valid.
  CRegDeclObject* GetAtCurrentIndex();
  // The last element when the cursor is valid, else null.
  CRegDeclObject* GetLast();
  // Removes the last element; does nothing on an empty array.
  void RemoveLast();
  // Binds the element at the cursor under the last entry of CRegDeclHive::s_aParentStack,
  // advances the cursor and, for a key, pushes it on the parent stack. Does nothing when
  // either is missing. Always called on CRegDeclHive::s_aChildren.
  void BindAsChild();

  int m_nIndex;  // the cursor
};

#endif  // RUZIDE_FRAMEWORK_REGDECLOBJECT_H_
