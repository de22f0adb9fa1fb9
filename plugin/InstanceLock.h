// InstanceLock: the instance's one recursive lock, held for the whole of
// every host call, every audio callback and every editor change.
//
// A mutex goes to whichever thread asks first once it is free, and the
// thread that has just released it is nearly always that one: a host thread
// that calls the plug-in without pause (a preset browser, program automation)
// would keep the audio thread out for as long as it goes on. So the audio
// callbacks announce that they are waiting, and a thread that does not yet
// hold any instance's lock lets a waiting audio callback go first. The wait
// is never longer than the one call that holds the lock at that moment.
#pragma once

#include <pthread.h>

#include <atomic>

namespace morvanta {

class InstanceLock {
 public:
  InstanceLock();
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // Host and editor threads (std::lock_guard uses these).
  void lock() {
    if (HeldByThisThread() == 0) GiveWayToAudio();
    pthread_mutex_lock(&mutex_);
    ++HeldByThisThread();
  }
  // For a thread that must never block on the lock (the editor's window
  // thread while the host may be closing the window under it).
  bool try_lock() {
    if (pthread_mutex_trylock(&mutex_) != 0) return false;
    ++HeldByThisThread();
    return true;
  }
  void unlock() {
    --HeldByThisThread();
    pthread_mutex_unlock(&mutex_);
  }

  // The audio callbacks.
  void LockForAudio() {
    audioWaiting_.fetch_add(1, std::memory_order_acq_rel);
    pthread_mutex_lock(&mutex_);
    audioWaiting_.fetch_sub(1, std::memory_order_acq_rel);
    ++HeldByThisThread();
  }

  // Audio callbacks waiting for the lock now (for tests).
  int AudioWaiting() const { return audioWaiting_.load(std::memory_order_acquire); }

  // Holds the lock for an audio callback's whole run.
  class AudioGuard {
   public:
    explicit AudioGuard(InstanceLock& lock) : lock_(lock) { lock_.LockForAudio(); }
    ~AudioGuard() { lock_.unlock(); }
    AudioGuard(const AudioGuard&) = delete;
    AudioGuard& operator=(const AudioGuard&) = delete;

   private:
    InstanceLock& lock_;
  };

 private:
  // How many instance locks this thread holds, counting nested entries. A
  // thread that holds one never waits at the gate: the audio callback may be
  // waiting for that very lock.
  static int& HeldByThisThread() {
    static thread_local int held = 0;
    return held;
  }
  void GiveWayToAudio();

  pthread_mutex_t mutex_;
  std::atomic<int> audioWaiting_{0};
};

}  // namespace morvanta
