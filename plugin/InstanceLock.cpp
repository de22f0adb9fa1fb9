#include "plugin/InstanceLock.h"

#include <chrono>
#include <thread>

namespace morvanta {

// Recursive, and with priority inheritance: while a real-time audio thread
// waits, the thread holding the lock runs at the audio thread's priority,
// so other programs on the machine cannot stretch the wait.
InstanceLock::InstanceLock() {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  // Where the system has no priority inheritance the lock is a plain
  // recursive one; the audio-first gate still holds.
  if (pthread_mutexattr_setprotocol(&attr, PTHREAD_PRIO_INHERIT) != 0 || pthread_mutex_init(&mutex_, &attr) != 0) {
    pthread_mutexattr_setprotocol(&attr, PTHREAD_PRIO_NONE);
    pthread_mutex_init(&mutex_, &attr);
  }
  pthread_mutexattr_destroy(&attr);
}

InstanceLock::~InstanceLock() { pthread_mutex_destroy(&mutex_); }

// The audio callback takes the lock within microseconds of its release, or
// the call holding it finishes first; yielding covers the first case, short
// sleeps the second without spinning a core away from the audio thread.
void InstanceLock::GiveWayToAudio() {
  for (int spins = 0; audioWaiting_.load(std::memory_order_acquire) > 0; ++spins) {
    if (spins < 64)
      std::this_thread::yield();
    else
      std::this_thread::sleep_for(std::chrono::microseconds(20));
  }
}

}  // namespace morvanta
