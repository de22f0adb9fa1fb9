// InstanceLock: recursive for nested host calls, and a waiting audio
// callback goes before a host thread that releases and asks again at once.
#include "plugin/InstanceLock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace morvanta {
namespace {

using Guard = std::lock_guard<InstanceLock>;

void WaitUntil(const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    // A wait that never ends would hang the suite; it is a failure instead.
    if (std::chrono::steady_clock::now() > end) {
      ADD_FAILURE() << "gave up waiting";
      std::_Exit(1);
    }
    std::this_thread::yield();
  }
}

// The host thread releases the lock and asks for it again without pause, as a
// preset browser does; the audio callback that was waiting runs first.
TEST(InstanceLockTest, WaitingAudioCallbackGoesBeforeAHostThreadAskingAgain) {
  for (int round = 0; round < 20; ++round) {
    InstanceLock lock;
    std::string order;
    std::mutex orderMutex;
    auto note = [&](char c) {
      std::lock_guard<std::mutex> g(orderMutex);
      order += c;
    };
    lock.lock();
    std::thread audio([&] {
      InstanceLock::AudioGuard g(lock);
      note('A');
    });
    WaitUntil([&] { return lock.AudioWaiting() > 0; });
    std::this_thread::sleep_for(std::chrono::milliseconds(2));  // asleep in the lock by now
    lock.unlock();
    {
      Guard g(lock);
      note('H');
    }
    audio.join();
    EXPECT_EQ(order, "AH") << "round " << round;
  }
}

// A thread already inside a host call (a host callback calling back in) takes
// the lock again at once even while the audio callback waits for it.
TEST(InstanceLockTest, NestedEntryDoesNotWaitForTheAudioCallback) {
  InstanceLock lock;
  std::atomic<bool> holding{false}, audioStarted{false}, nested{false};
  std::thread host([&] {
    Guard outer(lock);
    holding = true;
    WaitUntil([&] { return lock.AudioWaiting() > 0; });
    Guard inner(lock);
    nested = true;
  });
  WaitUntil([&] { return holding.load(); });
  std::thread audio([&] {
    audioStarted = true;
    InstanceLock::AudioGuard g(lock);
  });
  WaitUntil([&] { return nested.load(); });
  host.join();
  audio.join();
  EXPECT_TRUE(audioStarted);
}

}  // namespace
}  // namespace morvanta
