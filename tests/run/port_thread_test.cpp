#include "port/port_thread.h"

#include <gtest/gtest.h>

#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace m4410 {
namespace {

// Jobs posted and run from several threads at once all run on the one port thread, one at a
// time and in each poster's order; a run waits for everything queued before it and brings
// its job's exception back.
TEST(PortThreadTest, EveryJobRunsInOrderOnTheOneThreadAndARunWaitsForThem) {
  constexpr int kPosters = 4, kJobs = 200;
  std::mutex mutex;
  std::vector<std::vector<int>> seen(kPosters);
  std::vector<std::thread::id> threads;
  int running = 0, overlapped = 0;
  auto job = [&](int poster, int n) {
    return [&, poster, n] {
      std::lock_guard lock(mutex);
      overlapped += running++ != 0;
      seen[poster].push_back(n);
      threads.push_back(std::this_thread::get_id());
      --running;
    };
  };
  std::vector<std::thread> posters;
  for (int poster = 0; poster < kPosters; ++poster) {
    posters.emplace_back([&, poster] {
      for (int n = 0; n < kJobs; ++n) {
        if (n % 3 == 0) {
          RunOnPortThread(job(poster, n));
          std::lock_guard lock(mutex);
          EXPECT_EQ(seen[poster].back(), n);  // run by the time the call returns
        } else {
          PostToPortThread(job(poster, n));
        }
      }
    });
  }
  for (std::thread& poster : posters) poster.join();
  RunOnPortThread([] {});
  std::lock_guard lock(mutex);
  for (int poster = 0; poster < kPosters; ++poster) {
    ASSERT_EQ(seen[poster].size(), static_cast<std::size_t>(kJobs));
    for (int n = 0; n < kJobs; ++n) EXPECT_EQ(seen[poster][n], n);
  }
  EXPECT_EQ(overlapped, 0);
  for (const std::thread::id id : threads) EXPECT_EQ(id, threads.front());
  EXPECT_NE(threads.front(), std::this_thread::get_id());
  EXPECT_THROW(RunOnPortThread([] { throw std::runtime_error("claim failed"); }),
               std::runtime_error);
}

}  // namespace
}  // namespace m4410
