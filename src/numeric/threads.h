// Threads for the few large jobs that share their work: the product, and
// the plotting layer's picture export. Nothing here outlives a call: the
// threads a job starts have ended when it returns.
#ifndef VELTA_THREADS_H
#define VELTA_THREADS_H

#include <cstddef>
#include <functional>

namespace velta {

// The most threads a job may use: the processors this process may run on,
// capped by OMP_NUM_THREADS when that holds a positive count (as in other
// numerical libraries), and by kMaxThreads. Read at each call.
constexpr std::size_t kMaxThreads = 16;
std::size_t thread_budget();

// Runs body(0) .. body(count - 1) at once, body(0) on the calling thread,
// and returns when all have returned. When no thread can be started, the
// calling thread runs what is left in turn. body must not throw.
void on_threads(std::size_t count, const std::function<void(std::size_t)> &body);

}  // namespace velta

#endif
