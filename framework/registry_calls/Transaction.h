// A scope whose registry calls are written as one: off Windows, every registry call the
// thread makes while a Transaction lives joins one transaction of the embedded store per
// root, committed when the outermost Transaction ends. Other processes see all of its
// writes on a root or none of them, also when this process dies inside the scope; calls
// inside see the scope's own writes.
//
// Scopes nest by counting: an inner scope's end does nothing but count down, unless it
// asks for a rollback, which then applies to the whole. A scope ended by an exception
// rolls back. A failure of the store itself (not an ordinary result such as a missing
// key) rolls back that root's part at once, and the scope's later calls on that root
// fail with the same error.
//
// The store lock is held from the scope's first call on a root to the end of the scope:
// meanwhile other processes that need the database wait, for up to the lock's waiting
// limit of a minute, after which their calls fail with ERROR_LOCK_VIOLATION; other
// threads of this process wait until the end. So a scope must be short and must not wait
// for anything outside itself: no user input, no other process, no other thread's
// registry calls. It must not fork, nor close the stores.
//
// On Windows a Transaction does nothing: each call is its own, as without one.
#ifndef RUZIDE_FRAMEWORK_REGISTRY_CALLS_TRANSACTION_H_
#define RUZIDE_FRAMEWORK_REGISTRY_CALLS_TRANSACTION_H_

#include "platform/WinTypes.h"

namespace ruzide {
namespace store {

class Transaction {
 public:
  Transaction();
  // Commits, as Commit does, unless the scope has ended already; rolls back instead when
  // an exception is unwinding through the scope.
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  // End the scope early. For the outermost scope Commit returns ERROR_SUCCESS when every
  // root's part was committed, else the first error, that root's part being rolled back;
  // an inner scope returns ERROR_SUCCESS. Rollback makes the whole transaction roll back
  // at the outermost end.
  LONG Commit();
  void Rollback();

 private:
  int exceptions_;  // exceptions in flight when the scope began
  bool ended_ = false;
};

}  // namespace store
}  // namespace ruzide

#endif  // RUZIDE_FRAMEWORK_REGISTRY_CALLS_TRANSACTION_H_
