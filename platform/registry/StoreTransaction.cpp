#include "platform/registry/StoreTransaction.h"

#include "platform/registry/Store.h"

namespace ruzide::registry {

ThreadTransaction& CurrentTransaction() {
  static thread_local ThreadTransaction transaction;
  return transaction;
}

void BeginTransaction() { ++CurrentTransaction().depth; }

LONG EndTransaction(bool commit) {
  ThreadTransaction& transaction = CurrentTransaction();
  if (transaction.depth == 0) return ERROR_SUCCESS;
  if (!commit) transaction.rollback = true;
  if (--transaction.depth > 0) return ERROR_SUCCESS;
  LONG result = ERROR_SUCCESS;
  for (int root = 0; root < kRootCount; ++root) {
    LONG status = transaction.failed[root];
    if (Store* store = transaction.joined[root]) {
      transaction.joined[root] = nullptr;
      status = store->Leave(!transaction.rollback);
    }
    transaction.failed[root] = ERROR_SUCCESS;
    if (result == ERROR_SUCCESS) result = status;
  }
  transaction.rollback = false;
  return result;
}

}  // namespace ruzide::registry
