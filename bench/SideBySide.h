#pragma once
// Ours beside a peer on the same data and thread count: one warm-up call of
// each, then rounds that alternate which side runs first, and the medians,
// with the cores each side kept busy (its processor time over its wall time).
// Each comparison adds a row to the summary file named by
// CORVELLE_BENCH_SUMMARY, which ./bench.sh prints as a table at the end.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
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

// Processor time of the whole process (every thread), in seconds.
inline double ProcessorSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

inline double Median(std::vector<double> V) {
  if (V.empty()) return 0;
  std::sort(V.begin(), V.end());
  const std::size_t n = V.size();
  return n % 2 ? V[n / 2] : 0.5 * (V[n / 2 - 1] + V[n / 2]);
}

struct TTimes {
  double Ours = 0, Peer = 0;
  double OursCores = 0, PeerCores = 0;  // processor time over wall time, all rounds
};

inline TTimes Compare(const std::function<void()>& Ours, const std::function<void()>& Peer, int Rounds) {
  Ours();
  Peer();
  std::vector<double> a, b;
  double wall[2] = {0, 0}, busy[2] = {0, 0};
  auto timed = [&](const std::function<void()>& F, std::vector<double>& Times, int Side) {
    const double p0 = ProcessorSeconds();
    const double s = Seconds(F);
    busy[Side] += ProcessorSeconds() - p0;
    wall[Side] += s;
    Times.push_back(s);
  };
  for (int r = 0; r < Rounds; ++r) {
    if (r % 2 == 0) {
      timed(Ours, a, 0);
      timed(Peer, b, 1);
    } else {
      timed(Peer, b, 1);
      timed(Ours, a, 0);
    }
  }
  return {Median(a), Median(b), wall[0] > 0 ? busy[0] / wall[0] : 0, wall[1] > 0 ? busy[1] / wall[1] : 0};
}

// "on 1.0 core", "on 7.6 cores": what a side kept busy, measured.
inline std::string OnCores(double Cores) {
  char text[32];
  std::snprintf(text, sizeof text, "on %.1f core%s", Cores, Cores < 1.05 ? "" : "s");
  return text;
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
