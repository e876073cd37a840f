#include "platform/registry/Watchers.h"

#include <pthread.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/WinEvent.h"
#include "platform/registry/ChangeLog.h"
#include "platform/registry/StoreLocation.h"

namespace ruzide::registry {

namespace {

struct Watch {
  HKEY handle;
  int64_t key;
  bool subtree;
  uint32_t filter;
  std::vector<HANDLE> events;  // empty while idle
};

struct RootWatches {
  ChangeReader log;
  std::string shared_file;
  std::vector<Watch> watches;
  pthread_t thread;
  bool running = false;
  std::atomic<bool> stop{false};
  std::atomic<bool> exited{false};
};

// `state` guards the watches and the log position, and is shared with the threads;
// `control` serialises starting and stopping them, and is never taken by them.
struct Watchers {
  std::mutex control;
  std::mutex state;
  RootWatches roots[kRootCount];
  // The watches of all roots, changed under `state`: RegCloseKey of a handle that never
  // watched, nearly every close, then takes neither mutex.
  std::atomic<size_t> count{0};
};

Watchers& All() {
  static auto* watchers = new Watchers;  // never destroyed: threads may outlive exit
  return *watchers;
}

bool Matches(const Watch& watch, int64_t key, uint32_t bits) {
  if (key == kEveryKey) return true;
  if (key != watch.key) return false;
  if (bits & kKeyDeleted) return true;
  if ((bits & kBelow) && !watch.subtree) return false;
  return (bits & watch.filter & (kChangeName | kChangeLastSet)) != 0;
}

void Signal(Watch* watch) {
  for (HANDLE event : watch->events) SetEvent(event);
  watch->events.clear();
}

// With `state` held: signals the active watches that `changes` match, or all of them
// when `changes` is null (the log overflowed).
void SignalMatching(RootWatches* root, const std::vector<std::pair<int64_t, uint32_t>>* changes) {
  for (Watch& watch : root->watches) {
    if (watch.events.empty()) continue;
    bool hit = changes == nullptr;
    for (size_t i = 0; !hit && i < changes->size(); ++i) {
      hit = Matches(watch, (*changes)[i].first, (*changes)[i].second);
    }
    if (hit) Signal(&watch);
  }
}

// With `state` held: reads what was published since the last look and signals the
// watches it matches.
void CatchUp(RootWatches* root, std::vector<std::pair<int64_t, uint32_t>>* changes) {
  changes->clear();
  bool complete = root->log.Read(changes);
  SignalMatching(root, complete ? changes : nullptr);
}

void* Serve(void* argument) {
  RootWatches* root = static_cast<RootWatches*>(argument);
  std::vector<std::pair<int64_t, uint32_t>> changes;
  for (;;) {
    uint32_t seen = root->log.WakeWord();
    {
      std::lock_guard<std::mutex> lock(All().state);
      if (root->stop.load()) break;
      CatchUp(root, &changes);
    }
    root->log.Wait(seen);
  }
  root->exited.store(true);
  return nullptr;
}

// With `control` held.
void Start(RootWatches* root) {
  if (root->running || !root->log.is_open()) return;
  root->stop.store(false);
  root->exited.store(false);
  root->running = pthread_create(&root->thread, nullptr, Serve, root) == 0;
}

// With `control` held. The thread may be just about to sleep when told to stop, so it
// is woken until it has gone.
void Stop(RootWatches* root) {
  if (!root->running) return;
  root->stop.store(true);
  while (!root->exited.load()) {
    root->log.Interrupt();
    timespec pause = {0, 20'000};
    nanosleep(&pause, nullptr);
  }
  pthread_join(root->thread, nullptr);
  root->running = false;
}

}  // namespace

void AddWatch(int root_index, const std::string& shared_file, const WatchRequest& request) {
  Watchers& all = All();
  std::lock_guard<std::mutex> control(all.control);
  RootWatches* root = &all.roots[root_index];
  if (!root->log.is_open() || root->shared_file != shared_file) {
    Stop(root);
    root->shared_file = shared_file;
    root->log.Open(shared_file);
  }
  {
    std::lock_guard<std::mutex> lock(all.state);
    // A watch reports changes made after this call only. The thread may not have read
    // the commits that returned before it yet; they are delivered now, to the watches
    // that were waiting, so that none of them reaches this request later.
    if (root->running) {
      std::vector<std::pair<int64_t, uint32_t>> earlier;
      CatchUp(root, &earlier);
    } else {
      root->log.SkipToNewest();
    }
    auto watch = std::find_if(root->watches.begin(), root->watches.end(),
                              [&](const Watch& w) { return w.handle == request.handle; });
    if (watch == root->watches.end()) {
      root->watches.push_back(Watch{request.handle, request.key, false, 0, {}});
      all.count.fetch_add(1);
      watch = root->watches.end() - 1;
    }
    if (watch->events.empty()) {
      // A virtualized handle's key may be another one at each call (Virtualization.h).
      watch->key = request.key;
      watch->subtree = request.subtree;
      watch->filter = request.filter;
    }
    watch->events.push_back(request.event);
  }
  Start(root);
}

void EndWatch(HKEY handle) {
  Watchers& all = All();
  if (all.count.load() == 0) return;
  std::lock_guard<std::mutex> control(all.control);
  for (RootWatches& root : all.roots) {
    bool last = false;
    {
      std::lock_guard<std::mutex> lock(all.state);
      auto watch = std::find_if(root.watches.begin(), root.watches.end(),
                                [&](const Watch& w) { return w.handle == handle; });
      if (watch == root.watches.end()) continue;
      Signal(&*watch);
      root.watches.erase(watch);
      all.count.fetch_sub(1);
      last = root.watches.empty();
    }
    if (last) Stop(&root);
  }
}

void EndAllWatches() {
  Watchers& all = All();
  std::lock_guard<std::mutex> control(all.control);
  for (RootWatches& root : all.roots) {
    {
      std::lock_guard<std::mutex> lock(all.state);
      for (Watch& watch : root.watches) Signal(&watch);
      all.count.fetch_sub(root.watches.size());
      root.watches.clear();
    }
    Stop(&root);
    root.log.Close();
  }
}

void LockWatches() {
  All().control.lock();
  All().state.lock();
}

void UnlockWatches() {
  All().state.unlock();
  All().control.unlock();
}

void ForgetWatchesInChild() {
  for (RootWatches& root : All().roots) {
    root.watches.clear();
    root.running = false;
  }
  All().count.store(0);
  UnlockWatches();
}

}  // namespace ruzide::registry
