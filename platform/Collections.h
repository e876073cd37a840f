// The collection classes of the Windows class library, as far as RuzIde uses them:
// CPtrArray and CTypedPtrArray, CPtrList and CTypedPtrList, CStringList,
// CMapStringToPtr and CDWordArray.
//
// Behaviour follows the originals where RuzIde relies on it: arrays keep order when an
// element is removed, lists keep the order of insertion, map keys compare exactly (case
// matters), and SetSize(0) releases an array's storage. Everything is inline so that the
// library exports nothing of it.
#ifndef RUZIDE_PLATFORM_COLLECTIONS_H_
#define RUZIDE_PLATFORM_COLLECTIONS_H_

#include <cstdint>
#include <list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/CString.h"
#include "platform/RegTypes.h"

// An opaque iteration position; null means "no more".
struct __POSITION {};
typedef __POSITION* POSITION;

#ifndef _WIN32
typedef intptr_t INT_PTR;
#endif

// A growable array of elements of type T.
template <class T>
class CArrayOf {
 public:
  CArrayOf() = default;
  CArrayOf(const CArrayOf&) = delete;
  CArrayOf& operator=(const CArrayOf&) = delete;

  INT_PTR GetSize() const { return static_cast<INT_PTR>(items_.size()); }
  INT_PTR GetCount() const { return GetSize(); }
  INT_PTR GetUpperBound() const { return GetSize() - 1; }
  bool IsEmpty() const { return items_.empty(); }

  // Resizes to `size` elements; new elements are zero. Size 0 also releases storage.
  void SetSize(INT_PTR size) {
    if (size <= 0) {
      std::vector<T>().swap(items_);
    } else {
      items_.resize(static_cast<size_t>(size), T());
    }
  }
  void RemoveAll() { SetSize(0); }

  T GetAt(INT_PTR index) const { return items_[static_cast<size_t>(index)]; }
  T& ElementAt(INT_PTR index) { return items_[static_cast<size_t>(index)]; }
  T operator[](INT_PTR index) const { return GetAt(index); }
  T& operator[](INT_PTR index) { return ElementAt(index); }
  void SetAt(INT_PTR index, T value) { items_[static_cast<size_t>(index)] = value; }

  // Sets the element at `index`, growing the array (with zero elements) when needed.
  void SetAtGrow(INT_PTR index, T value) {
    if (index < 0) return;
    if (index >= GetSize()) items_.resize(static_cast<size_t>(index) + 1, T());
    items_[static_cast<size_t>(index)] = value;
  }

  // Appends `value`; returns its index.
  INT_PTR Add(T value) {
    items_.push_back(value);
    return GetSize() - 1;
  }

  // Removes `count` elements at `index`; later elements move down and keep their order.
  void RemoveAt(INT_PTR index, INT_PTR count = 1) {
    if (index < 0 || count <= 0 || index + count > GetSize()) return;
    items_.erase(items_.begin() + index, items_.begin() + index + count);
  }

  void InsertAt(INT_PTR index, T value) {
    if (index < 0) return;
    if (index > GetSize()) items_.resize(static_cast<size_t>(index), T());
    items_.insert(items_.begin() + index, value);
  }

  const T* GetData() const { return items_.data(); }

 private:
  std::vector<T> items_;
};

class CPtrArray : public CArrayOf<void*> {};
class CDWordArray : public CArrayOf<DWORD> {};

// A pointer array whose elements are typed as TYPE.
template <class BASE, class TYPE>
class CTypedPtrArray : public CArrayOf<TYPE> {};

// A doubly linked list of elements of type T with POSITION iteration.
template <class T>
class CListOf {
 public:
  explicit CListOf(INT_PTR block_size = 10) { (void)block_size; }
  CListOf(const CListOf&) = delete;
  CListOf& operator=(const CListOf&) = delete;
  ~CListOf() { RemoveAll(); }

  INT_PTR GetCount() const { return count_; }
  INT_PTR GetSize() const { return count_; }
  bool IsEmpty() const { return count_ == 0; }

  POSITION AddTail(const T& value) { return Insert(nullptr, value); }
  POSITION AddHead(const T& value) {
    return Insert(head_, value);
  }
  POSITION GetHeadPosition() const { return Pos(head_); }
  POSITION GetTailPosition() const { return Pos(tail_); }
  T& GetHead() { return head_->value; }
  T& GetTail() { return tail_->value; }

  // Returns the element at `pos` and moves `pos` to the next one (null after the tail).
  T& GetNext(POSITION& pos) {
    Node* node = NodeOf(pos);
    pos = Pos(node->next);
    return node->value;
  }
  const T& GetNext(POSITION& pos) const {
    Node* node = NodeOf(pos);
    pos = Pos(node->next);
    return node->value;
  }
  T& GetPrev(POSITION& pos) {
    Node* node = NodeOf(pos);
    pos = Pos(node->prev);
    return node->value;
  }
  T& GetAt(POSITION pos) { return NodeOf(pos)->value; }
  const T& GetAt(POSITION pos) const { return NodeOf(pos)->value; }
  void SetAt(POSITION pos, const T& value) { NodeOf(pos)->value = value; }

  // The position of the first element equal to `value` at or after `start_after`'s
  // successor (from the head when null), or null.
  POSITION Find(const T& value, POSITION start_after = nullptr) const {
    Node* node = start_after ? NodeOf(start_after)->next : head_;
    for (; node; node = node->next) {
      if (node->value == value) return Pos(node);
    }
    return nullptr;
  }

  void RemoveAt(POSITION pos) {
    Node* node = NodeOf(pos);
    if (!node) return;
    (node->prev ? node->prev->next : head_) = node->next;
    (node->next ? node->next->prev : tail_) = node->prev;
    delete node;
    --count_;
  }
  T RemoveHead() {
    T value = head_->value;
    RemoveAt(Pos(head_));
    return value;
  }
  void RemoveAll() {
    while (head_) {
      Node* next = head_->next;
      delete head_;
      head_ = next;
    }
    tail_ = nullptr;
    count_ = 0;
  }

 private:
  struct Node {
    Node* prev;
    Node* next;
    T value;
  };
  static POSITION Pos(Node* node) { return reinterpret_cast<POSITION>(node); }
  static Node* NodeOf(POSITION pos) { return reinterpret_cast<Node*>(pos); }

  // Inserts before `before` (at the tail when null).
  POSITION Insert(Node* before, const T& value) {
    Node* node = new Node{before ? before->prev : tail_, before, value};
    (node->prev ? node->prev->next : head_) = node;
    (before ? before->prev : tail_) = node;
    ++count_;
    return Pos(node);
  }

  Node* head_ = nullptr;
  Node* tail_ = nullptr;
  INT_PTR count_ = 0;
};

class CPtrList : public CListOf<void*> {
 public:
  explicit CPtrList(INT_PTR block_size = 10) : CListOf<void*>(block_size) {}
};

template <class BASE, class TYPE>
class CTypedPtrList : public CListOf<TYPE> {
 public:
  explicit CTypedPtrList(INT_PTR block_size = 10) : CListOf<TYPE>(block_size) {}
};

class CStringList : public CListOf<CString> {
 public:
  explicit CStringList(INT_PTR block_size = 10) : CListOf<CString>(block_size) {}
};

// A map from text to pointer. Keys compare exactly, byte for byte: "Name" and "name" are
// two keys. Iteration order is unspecified.
class CMapStringToPtr {
 public:
  explicit CMapStringToPtr(INT_PTR block_size = 10) { (void)block_size; }
  CMapStringToPtr(const CMapStringToPtr&) = delete;
  CMapStringToPtr& operator=(const CMapStringToPtr&) = delete;

  INT_PTR GetCount() const { return static_cast<INT_PTR>(entries_.size()); }
  INT_PTR GetSize() const { return GetCount(); }
  bool IsEmpty() const { return entries_.empty(); }

  bool Lookup(const char* key, void*& value) const {
    size_t at = Find(key ? key : "");
    if (at == kNone) return false;
    value = entries_[at].second;
    return true;
  }
  void SetAt(const char* key, void* value) { (*this)[key] = value; }
  void*& operator[](const char* key) {
    std::string_view name = key ? key : "";
    size_t at = Find(name);
    if (at != kNone) return entries_[at].second;
    entries_.emplace_back(std::string(name), nullptr);
    if (!slots_.empty() && entries_.size() * 2 > slots_.size()) {
      Reindex(slots_.size() * 2);
    } else if (!slots_.empty()) {
      Place(entries_.size() - 1);
    } else if (entries_.size() > kScanned) {
      Reindex(4 * kScanned);
    }
    return entries_.back().second;
  }
  // The last entry takes the removed one's place, so positions held across a removal are
  // not valid, as with the original.
  bool RemoveKey(const char* key) {
    size_t at = Find(key ? key : "");
    if (at == kNone) return false;
    if (!slots_.empty()) {
      Unplace(at);
      if (at + 1 != entries_.size()) Renumber(entries_.size() - 1, at);
    }
    if (at + 1 != entries_.size()) entries_[at] = std::move(entries_.back());
    entries_.pop_back();
    return true;
  }
  void RemoveAll() {
    std::vector<Entry>().swap(entries_);
    std::vector<uint32_t>().swap(slots_);
  }

  POSITION GetStartPosition() const { return entries_.empty() ? nullptr : Pos(0); }
  // Returns the entry at `pos` and moves `pos` to the next entry (null after the last).
  void GetNextAssoc(POSITION& pos, CString& key, void*& value) const {
    size_t at = reinterpret_cast<uintptr_t>(pos) - 1;
    key = entries_[at].first.c_str();
    value = entries_[at].second;
    pos = at + 1 < entries_.size() ? Pos(at + 1) : nullptr;
  }

 private:
  // The entries lie in one array, which a few names are searched in directly: a key of the
  // framework has a few children, and one block each for its maps costs far less to build,
  // search and free than a node per name. Past kScanned names an open-addressing table of
  // entry numbers (plus one; 0 is free) finds them, kept at most half full.
  typedef std::pair<std::string, void*> Entry;
  static constexpr size_t kNone = ~size_t{0};
  static constexpr size_t kScanned = 8;

  static POSITION Pos(size_t at) { return reinterpret_cast<POSITION>(uintptr_t{at} + 1); }
  static size_t Hash(std::string_view name) { return std::hash<std::string_view>()(name); }
  size_t Mask() const { return slots_.size() - 1; }

  size_t Find(std::string_view name) const {
    if (slots_.empty()) {
      for (size_t at = 0; at < entries_.size(); ++at) {
        if (entries_[at].first == name) return at;
      }
      return kNone;
    }
    for (size_t slot = Hash(name) & Mask();; slot = (slot + 1) & Mask()) {
      if (slots_[slot] == 0) return kNone;
      if (entries_[slots_[slot] - 1].first == name) return slots_[slot] - 1;
    }
  }
  // The slot that holds entry `at`.
  size_t SlotOf(size_t at) const {
    size_t slot = Hash(entries_[at].first) & Mask();
    while (slots_[slot] != at + 1) slot = (slot + 1) & Mask();
    return slot;
  }
  void Place(size_t at) {
    size_t slot = Hash(entries_[at].first) & Mask();
    while (slots_[slot] != 0) slot = (slot + 1) & Mask();
    slots_[slot] = static_cast<uint32_t>(at + 1);
  }
  void Reindex(size_t slots) {
    slots_.assign(slots, 0);
    for (size_t at = 0; at < entries_.size(); ++at) Place(at);
  }
  void Renumber(size_t from, size_t to) { slots_[SlotOf(from)] = static_cast<uint32_t>(to + 1); }
  // Frees entry `at`'s slot, moving back the entries of its run that the gap would hide
  // from their searches (deletion without tombstones).
  void Unplace(size_t at) {
    size_t gap = SlotOf(at);
    for (size_t slot = (gap + 1) & Mask(); slots_[slot] != 0; slot = (slot + 1) & Mask()) {
      size_t home = Hash(entries_[slots_[slot] - 1].first) & Mask();
      // The entry may fill the gap unless its home lies cyclically in (gap, slot].
      if (((slot - home) & Mask()) >= ((slot - gap) & Mask())) {
        slots_[gap] = slots_[slot];
        gap = slot;
      }
    }
    slots_[gap] = 0;
  }

  std::vector<Entry> entries_;
  std::vector<uint32_t> slots_;
};

#endif  // RUZIDE_PLATFORM_COLLECTIONS_H_
