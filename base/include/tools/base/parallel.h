#pragma once
// The one worker pool of the tools: runs f(0) ... f(count - 1) on up to
// `jobs` threads (the caller's thread is one of them), handing out indices in
// increasing order; with one job (or one index) everything runs on the
// caller's thread in order. The first exception thrown by f is rethrown to
// the caller after all threads are done. Results written per index are the
// same whatever the number of jobs.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace tools {

template <class F>
void parallel_for(size_t count, int jobs, F&& f) {
  const size_t threads = std::min(count, static_cast<size_t>(std::max(jobs, 1)));
  if (threads <= 1) {
    for (size_t i = 0; i < count; ++i) f(i);
    return;
  }
  std::atomic<size_t> next{0};
  // An exception on any thread (an allocation failure) stops handing out
  // indices and reaches the caller once every thread has finished.
  std::mutex failure_mutex;
  std::exception_ptr failure;
  auto work = [&] {
    try {
      for (size_t i = next.fetch_add(1); i < count; i = next.fetch_add(1)) f(i);
    } catch (...) {
      std::lock_guard lock(failure_mutex);
      if (!failure) failure = std::current_exception();
      next.store(count);
    }
  };
  {
    std::vector<std::jthread> helpers;
    helpers.reserve(threads - 1);
    for (size_t t = 1; t < threads; ++t) helpers.emplace_back(work);
    work();
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace tools
