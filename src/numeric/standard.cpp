// The library's random source and its generic release function.
#include <climits>
#include <cstdlib>
#include <ctime>

#include "vlm.h"

namespace {

// Number of draws so far; the generator is seeded from the clock when it is
// 0. It saturates instead of wrapping, so the seeding happens once per
// process however many draws follow.
int check_random = 0;

// A uniform integer in 0..32767 from the standard generator. glibc's rand()
// spans 31 bits; its high bits are the better ones.
inline int draw15() {
#if RAND_MAX == 2147483647
  return (std::rand() >> 16) & 0x7fff;
#else
  return std::rand() % 32768;
#endif
}

}  // namespace

extern "C" {

double vlm_random(double min, double max) {
  if (check_random == 0) std::srand(static_cast<unsigned>(std::time(nullptr)));
  if (check_random < INT_MAX) ++check_random;
  const double r = draw15();
  return r / (32767.0 / (max - min)) + min;
}

void vlm_data_delete(void *__ptr) { std::free(__ptr); }

}  // extern "C"
