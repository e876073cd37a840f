// Events over eventfd: signalled while the counter is nonzero, so that poll() sees them.
// An automatic-reset event is taken by the one waiter whose read empties the counter;
// the others find it empty and wait on.
#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/WinEvent.h"

namespace {

struct Event {
  explicit Event(int descriptor, bool manual) : fd(descriptor), manual_reset(manual) {}
  ~Event() { close(fd); }
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;
  const int fd;
  const bool manual_reset;
};

// Open events by handle. A waiter holds its own reference, so closing the handle
// meanwhile does not pull the descriptor from under it.
std::mutex& TableMutex() {
  static auto* mutex = new std::mutex;  // never destroyed: usable at exit
  return *mutex;
}

std::unordered_map<HANDLE, std::shared_ptr<Event>>& Table() {
  static auto* table = new std::unordered_map<HANDLE, std::shared_ptr<Event>>;
  return *table;
}

std::shared_ptr<Event> Find(HANDLE handle) {
  std::lock_guard<std::mutex> lock(TableMutex());
  auto found = Table().find(handle);
  return found == Table().end() ? nullptr : found->second;
}

int64_t MonotonicMillis() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1'000'000;
}

// Empties the counter; true if it was nonzero.
bool Take(int fd) {
  uint64_t count;
  return read(fd, &count, sizeof count) == sizeof count;
}

}  // namespace

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES /*lpEventAttributes*/, BOOL bManualReset,
                    BOOL bInitialState, LPCSTR lpName) {
  if (lpName != nullptr) return nullptr;
  int fd = eventfd(bInitialState ? 1 : 0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) return nullptr;
  auto event = std::make_shared<Event>(fd, bManualReset != FALSE);
  HANDLE handle = event.get();
  std::lock_guard<std::mutex> lock(TableMutex());
  Table().emplace(handle, std::move(event));
  return handle;
}

BOOL SetEvent(HANDLE hEvent) {
  std::shared_ptr<Event> event = Find(hEvent);
  if (event == nullptr) return FALSE;
  uint64_t one = 1;
  // Fails only when the counter is near its limit, which is signalled as well.
  (void)!write(event->fd, &one, sizeof one);
  return TRUE;
}

BOOL ResetEvent(HANDLE hEvent) {
  std::shared_ptr<Event> event = Find(hEvent);
  if (event == nullptr) return FALSE;
  Take(event->fd);
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  std::shared_ptr<Event> event = Find(hHandle);
  if (event == nullptr) return WAIT_FAILED;
  const int64_t deadline = MonotonicMillis() + dwMilliseconds;
  for (;;) {
    int timeout = -1;
    if (dwMilliseconds != INFINITE) {
      int64_t left = deadline - MonotonicMillis();
      timeout = left > 0 ? static_cast<int>(left) : 0;
    }
    pollfd ready = {event->fd, POLLIN, 0};
    int result = poll(&ready, 1, timeout);
    if (result < 0 && errno != EINTR) return WAIT_FAILED;
    if (result > 0 && (event->manual_reset || Take(event->fd))) return WAIT_OBJECT_0;
    if (result == 0) return WAIT_TIMEOUT;
  }
}

BOOL CloseHandle(HANDLE hObject) {
  std::shared_ptr<Event> event;
  std::lock_guard<std::mutex> lock(TableMutex());
  auto found = Table().find(hObject);
  if (found == Table().end()) return FALSE;
  event = std::move(found->second);  // closed once the lock is released, or by the last waiter
  Table().erase(found);
  return TRUE;
}

namespace ruzide::platform {

int EventDescriptor(HANDLE event) {
  std::shared_ptr<Event> found = Find(event);
  return found != nullptr ? found->fd : -1;
}

}  // namespace ruzide::platform
