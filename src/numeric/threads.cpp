// Threads for jobs that share their work (see threads.h).
#include "threads.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>
#include <thread>

#include <sched.h>

namespace velta {

std::size_t thread_budget() {
  int cpus = 1;
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) cpus = std::max(1, CPU_COUNT(&set));
  std::size_t budget = static_cast<std::size_t>(cpus);
  if (const char *cap = std::getenv("OMP_NUM_THREADS")) {
    char *end = nullptr;
    const long n = std::strtol(cap, &end, 10);
    if (end != cap && n >= 1) budget = std::min(budget, static_cast<std::size_t>(n));
  }
  return std::min(budget, kMaxThreads);
}

void on_threads(std::size_t count, const std::function<void(std::size_t)> &body) {
  count = std::min(count, kMaxThreads);
  std::thread helper[kMaxThreads];
  std::size_t started = 1;
  for (; started < count; ++started) {
    try {
      helper[started] = std::thread(body, started);
    } catch (const std::system_error &) {
      break;
    }
  }
  body(0);
  for (std::size_t t = started; t < count; ++t) body(t);  // no thread to be had: this one does them
  for (std::size_t t = 1; t < started; ++t) helper[t].join();
}

}  // namespace velta
