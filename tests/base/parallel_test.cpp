#include "tools/base/parallel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace tools {
namespace {

// Every index runs exactly once whatever the number of jobs, one job runs in
// order on the caller's thread, and zero or negative jobs mean one.
TEST(ParallelFor, EveryIndexOnceAndOneJobInOrderOnTheCallersThread) {
  for (int jobs : {-1, 0, 1, 2, 7, 64}) {
    SCOPED_TRACE(jobs);
    std::vector<std::atomic<int>> hits(1000);
    parallel_for(hits.size(), jobs, [&](std::size_t i) { hits[i].fetch_add(1); });
    for (const std::atomic<int>& h : hits) ASSERT_EQ(h.load(), 1);
  }
  std::vector<std::size_t> order;
  const std::thread::id caller = std::this_thread::get_id();
  bool elsewhere = false;
  parallel_for(50, 1, [&](std::size_t i) {
    order.push_back(i);
    elsewhere = elsewhere || std::this_thread::get_id() != caller;
  });
  ASSERT_EQ(order.size(), 50u);
  for (std::size_t i = 0; i < order.size(); ++i) EXPECT_EQ(order[i], i);
  EXPECT_FALSE(elsewhere);
  parallel_for(0, 4, [&](std::size_t) { FAIL() << "no index to run"; });
}

// An exception on a worker (an allocation failure) stops handing out work
// and reaches the caller only after every thread is done, so nothing still
// runs on the caller's data when it unwinds.
TEST(ParallelFor, TheFirstExceptionReachesTheCallerAfterAllThreadsEnd) {
  std::atomic<int> running{0};
  std::atomic<int> ran{0};
  bool thrown = false;
  try {
    parallel_for(10000, 4, [&](std::size_t i) {
      running.fetch_add(1);
      ran.fetch_add(1);
      if (i == 10) {
        running.fetch_sub(1);
        throw std::runtime_error("index 10");
      }
      std::this_thread::yield();
      running.fetch_sub(1);
    });
  } catch (const std::runtime_error& e) {
    thrown = true;
    EXPECT_STREQ(e.what(), "index 10");
  }
  EXPECT_TRUE(thrown);
  EXPECT_EQ(running.load(), 0) << "a worker still ran when the exception reached the caller";
  EXPECT_LT(ran.load(), 10000) << "indices kept being handed out after the failure";
}

}  // namespace
}  // namespace tools
