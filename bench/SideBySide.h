#pragma once
// Ours beside a peer on the same data and thread count: one warm-up call of
// each, then rounds that alternate which side runs first, and the medians.
// Each comparison adds a row to the summary file named by
// CORVELLE_BENCH_SUMMARY, which ./bench.sh prints as a table at the end.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine/DataImage.h"
#include "engine/FFT.h"
#include "engine/Parallel.h"

namespace SideBySide {

inline double Seconds(const std::function<void()>& F) {
  const auto t0 = std::chrono::steady_clock::now();
  F();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

inline double Median(std::vector<double> V) {
  if (V.empty()) return 0;
  std::sort(V.begin(), V.end());
  const std::size_t n = V.size();
  return n % 2 ? V[n / 2] : 0.5 * (V[n / 2 - 1] + V[n / 2]);
}

struct TTimes {
  double Ours = 0, Peer = 0;
};

inline TTimes Compare(const std::function<void()>& Ours, const std::function<void()>& Peer, int Rounds) {
  Ours();
  Peer();
  std::vector<double> a, b;
  for (int r = 0; r < Rounds; ++r) {
    if (r % 2 == 0) {
      a.push_back(Seconds(Ours));
      b.push_back(Seconds(Peer));
    } else {
      b.push_back(Seconds(Peer));
      a.push_back(Seconds(Ours));
    }
  }
  return {Median(a), Median(b)};
}

// Bytes per second of memcpy over Threads threads (read + write counted),
// the median of several copies of a buffer far larger than the caches.
inline double CopyBandwidth(int Threads) {
  const std::size_t bytes = std::size_t(256) << 20;
  std::vector<char> a(bytes, 1), b(bytes, 2);
  Parallel::SetThreads(Threads);
  std::vector<double> t;
  for (int r = 0; r < 7; ++r) {
    t.push_back(Seconds([&] {
      Parallel::For(std::int64_t(bytes >> 16), [&](std::int64_t b0, std::int64_t b1) {
        std::memcpy(b.data() + (b0 << 16), a.data() + (b0 << 16), std::size_t(b1 - b0) << 16);
      }, 1);
    }));
  }
  Parallel::SetThreads(0);
  return 2.0 * double(bytes) / Median(t);
}

inline double LoadAverage() {
  double load[3] = {0, 0, 0};
  return getloadavg(load, 3) > 0 ? load[0] : -1;
}

// One line of the summary: operation, size, threads, ours, the peer and its
// time, the ratio ours / peer, the target; also printed at once.
inline void Row(const std::string& Operation, const std::string& Size, int Threads, double Ours,
                const std::string& Peer, double PeerSeconds, const std::string& Target) {
  char line[512];
  std::snprintf(line, sizeof line, "%s\t%s\t%d\t%.2f\t%s\t%.2f\t%.2f\t%s\t%.1f\n", Operation.c_str(), Size.c_str(),
                Threads, Ours * 1e3, Peer.c_str(), PeerSeconds * 1e3, Ours / PeerSeconds, Target.c_str(),
                LoadAverage());
  std::fputs(line, stdout);
  std::fflush(stdout);
  if (const char* path = std::getenv("CORVELLE_BENCH_SUMMARY")) {
    if (FILE* f = std::fopen(path, "a")) {
      std::fputs(line, f);
      std::fclose(f);
    }
  }
}

// Our transform plans are made before any of the peer's: FFTW's estimating
// planner would take a measured plan from the wisdom that the peer's planning
// leaves in the process (or that is loaded), which the program never has.
// Lines of each side the benchmarks use.
inline void PlanOursAsTheProgramDoes() {
  for (int n : {2048, 4096}) {
    const int sides[2][2] = {{n, 2}, {2, n}};
    for (const auto& side : sides) {
      TDataImage img;
      if (!img.Allocate(side[0], side[1], 3, false) || !img.AllocateComplex(side[0], side[1])) continue;
      img.FFT();
      img.InverseFFT();
      ForwardRealFFT(img, nullptr);
      InverseRealFFT(img, nullptr, nullptr);
    }
  }
}

inline int AllThreads() {
  Parallel::SetThreads(0);
  return Parallel::Threads();
}

}  // namespace SideBySide
