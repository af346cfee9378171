// Plain C peers for the benchmark table, where NumPy has no twin:
//   peers matmul N REPEATS   the i-j-k triple loop, ordered sums
//   peers text N REPEATS     snprintf("%f") of N doubles into a measured buffer
// Prints the median seconds of REPEATS runs, then the first run's seconds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace {

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double run_matmul(int n) {
  std::mt19937_64 gen(1);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  std::vector<double> a(size_t(n) * n), b(size_t(n) * n), c(size_t(n) * n);
  for (auto &x : a) x = dist(gen);
  for (auto &x : b) x = dist(gen);
  double t0 = now();
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      double s = 0.0;
      for (int k = 0; k < n; ++k) s += a[size_t(i) * n + k] * b[size_t(k) * n + j];
      c[size_t(i) * n + j] = s;
    }
  double t = now() - t0;
  volatile double sink = c[0];
  (void)sink;
  return t;
}

double run_text(int n) {
  std::mt19937_64 gen(2);
  std::uniform_real_distribution<double> dist(-1e6, 1e6);
  std::vector<double> v(n);
  for (auto &x : v) x = dist(gen);
  double t0 = now();
  size_t total = 0;
  for (double x : v) total += size_t(snprintf(nullptr, 0, "%f", x)) + 2;
  char *buf = static_cast<char *>(malloc(total + 1));
  char *p = buf;
  for (double x : v) {
    p += snprintf(p, total + 1 - size_t(p - buf), "%f", x);
    *p++ = ',';
    *p++ = ' ';
  }
  *p = '\0';
  double t = now() - t0;
  free(buf);
  return t;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: peers matmul|text N REPEATS\n");
    return 2;
  }
  int n = atoi(argv[2]), repeats = atoi(argv[3]);
  std::vector<double> times;
  for (int r = 0; r < repeats; ++r)
    times.push_back(strcmp(argv[1], "matmul") == 0 ? run_matmul(n) : run_text(n));
  printf("%.9f %.9f\n", median(times), times[0]);
  return 0;
}
