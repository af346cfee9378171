// The library's random source and its generic release function.
#include <cstdint>
#include <cstdlib>
#include <ctime>

#include <pthread.h>
#include <unistd.h>

#include "vlm.h"

namespace {

// Where the generator's seed came from. A clock seed belongs to the process
// that took it: a forked child takes its own at its first draw instead of
// repeating its parent's stream. A chosen seed is kept across fork, so that
// a seeded program draws the same however it is split into processes.
enum class Seed { none, clock, chosen };
Seed seed_state = Seed::none;

void forget_clock_seed() {
  if (seed_state == Seed::clock) seed_state = Seed::none;
}

void set_seed_state(Seed state) {
  static const bool fork_hook = pthread_atfork(nullptr, nullptr, forget_clock_seed) == 0;
  (void)fork_hook;
  seed_state = state;
}

// A uniform integer in 0..32767 from the standard generator. glibc's rand()
// spans 31 bits; its high bits are the better ones.
inline int draw15() {
#if RAND_MAX == 2147483647
  return (std::rand() >> 16) & 0x7fff;
#else
  return std::rand() % 32768;
#endif
}

// One round of a 64-bit finaliser (splitmix64): spreads every input bit over
// the whole word, so nearby clock readings and process ids give unrelated
// seeds.
inline std::uint64_t mix64(std::uint64_t z) {
  z += 0x9e3779b97f4a7c15ULL;
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

// The seed of an unseeded process: the calendar time in seconds, mixed with
// the process id and the sub-second part of the clock.
unsigned clock_seed() {
  std::uint64_t h = mix64(static_cast<std::uint64_t>(std::time(nullptr)));
  timespec now{};
  if (clock_gettime(CLOCK_REALTIME, &now) == 0) h = mix64(h ^ static_cast<std::uint64_t>(now.tv_nsec));
  h = mix64(h ^ static_cast<std::uint64_t>(getpid()));
  return static_cast<unsigned>(h ^ (h >> 32));
}

}  // namespace

extern "C" {

double vlm_random(double min, double max) {
  if (seed_state == Seed::none) {
    std::srand(clock_seed());
    set_seed_state(Seed::clock);
  }
  const double r = draw15();
  return r / (32767.0 / (max - min)) + min;
}

void vlm_random_seed(unsigned int seed) {
  std::srand(seed);
  set_seed_state(Seed::chosen);
}

void vlm_data_delete(void *__ptr) { std::free(__ptr); }

}  // extern "C"
