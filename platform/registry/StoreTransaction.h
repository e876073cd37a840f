// Transactions that span registry calls: between BeginTransaction and the matching
// EndTransaction, every registry call of the thread on a root takes part in one SQLite
// transaction of that root's store, committed by the outermost EndTransaction.
//
// A root joins the transaction at the thread's first call on it, which takes the store
// lock (StoreLock.h) and this process's hold on the store, and keeps both until the end:
// no other process reads what the cache cannot answer, or writes, in between, and other
// threads of this process wait for the end. So other processes see all of the
// transaction's writes on a root or none of them, and never a value that is later rolled
// back; reads inside see the transaction's own writes. Each root is a transaction of its
// own: a failure of the database (ERROR_REGISTRY_IO_FAILED, ERROR_BADDB, ERROR_LOCK_VIOLATION
// and the like, not a call's ordinary result such as ERROR_FILE_NOT_FOUND) rolls that
// root's part back at once, and every later call on that root until the end returns the
// same error. A process that dies inside leaves nothing of it: SQLite ignores WAL frames
// without a commit frame, and the generation counter only moves at the commit.
//
// The thread must not fork, nor call CloseAllStores, inside a transaction. A transaction
// that touches both roots takes their locks in the order of its first calls on them; two
// processes that take them in opposite orders wait for each other until one of them
// gives up after the lock's waiting limit with ERROR_LOCK_VIOLATION.
#ifndef RUZIDE_PLATFORM_REGISTRY_STORETRANSACTION_H_
#define RUZIDE_PLATFORM_REGISTRY_STORETRANSACTION_H_

#include "platform/WinTypes.h"
#include "platform/registry/StoreLocation.h"

namespace ruzide::registry {

class Store;

// Opens a transaction, or nests in the thread's open one.
void BeginTransaction();
// Ends the innermost transaction. The outermost commits every root it joined, or with
// `commit` false (or after any nested end with `commit` false) rolls them all back; it
// returns ERROR_SUCCESS, or the first error that made a root's part fail. An inner end
// returns ERROR_SUCCESS.
LONG EndTransaction(bool commit);

// The state of the calling thread's transaction, for Store.
struct ThreadTransaction {
  int depth = 0;
  bool rollback = false;
  Store* joined[kRootCount] = {};  // holding the store's lock until the end
  LONG failed[kRootCount] = {};    // the error that ended the root's part early
};
ThreadTransaction& CurrentTransaction();

}  // namespace ruzide::registry

#endif  // RUZIDE_PLATFORM_REGISTRY_STORETRANSACTION_H_
