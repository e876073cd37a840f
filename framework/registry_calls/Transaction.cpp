#include "framework/registry_calls/Transaction.h"

#include <exception>

#ifndef _WIN32
#include "platform/registry/StoreTransaction.h"
#endif

namespace ruzide {
namespace store {

#ifdef _WIN32

// The system registry has no transactions of this kind: each call stands alone.
Transaction::Transaction() : exceptions_(0) {}
Transaction::~Transaction() = default;
LONG Transaction::Commit() { return ERROR_SUCCESS; }
void Transaction::Rollback() {}

#else

Transaction::Transaction() : exceptions_(std::uncaught_exceptions()) {
  registry::BeginTransaction();
}

Transaction::~Transaction() {
  if (ended_) return;
  if (std::uncaught_exceptions() > exceptions_) {
    Rollback();
  } else {
    Commit();
  }
}

LONG Transaction::Commit() {
  if (ended_) return ERROR_SUCCESS;
  ended_ = true;
  return registry::EndTransaction(true);
}

void Transaction::Rollback() {
  if (ended_) return;
  ended_ = true;
  registry::EndTransaction(false);
}

#endif

}  // namespace store
}  // namespace ruzide
