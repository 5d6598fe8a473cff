#include "engine/Parallel.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace Parallel {
namespace {

using TBody = std::function<void(std::int64_t, std::int64_t)>;

// One call's parts: part p covers [Begin(p), Begin(p + 1)), the same split
// whoever runs it.
struct TJob {
  const TBody* Body;
  std::int64_t Count, Parts;
  std::atomic<std::int64_t> Next{0};
  std::mutex FailureLock;
  std::exception_ptr Failure;

  TJob(const TBody& body, std::int64_t count, std::int64_t parts) : Body(&body), Count(count), Parts(parts) {}

  std::int64_t Begin(std::int64_t p) const {
    const std::int64_t step = Count / Parts, extra = Count % Parts;
    return p * step + std::min(p, extra);
  }

  // Takes parts until none is left; a failing part stops only itself.
  void RunParts() {
    for (std::int64_t p = Next.fetch_add(1); p < Parts; p = Next.fetch_add(1)) {
      try {
        (*Body)(Begin(p), Begin(p + 1));
      } catch (...) {
        std::lock_guard<std::mutex> guard(FailureLock);
        if (!Failure) Failure = std::current_exception();
      }
    }
  }
};

thread_local bool t_poolThread = false;
std::atomic<int> g_threads{0};
std::atomic<int> g_startLimit{-1};

int DefaultThreads() {
  static const int n = [] {
    if (const char* s = std::getenv("CORVELLE_THREADS")) {
      char* end = nullptr;
      const long v = std::strtol(s, &end, 10);
      if (end != s && *end == '\0' && v > 0) return int(std::min(v, 256L));
    }
    return int(std::clamp(std::thread::hardware_concurrency(), 1u, 256u));
  }();
  return n;
}

class TPool {
 public:
  ~TPool() { Stop(); }

  // Starts threads until Wanted exist. When the system refuses one it is at
  // its limit: the pool gives back what it holds, so that the rest of the
  // program (the toolkit, the system's own) can still start threads, and the
  // work runs on the calling thread. A refusal is not retried until the
  // wanted number changes or the pool is stopped.
  void Ensure(int Wanted) {
    if (int(threads.size()) >= Wanted || Wanted == refusedAt) return;
    try {
      threads.reserve(std::size_t(Wanted));
      while (int(threads.size()) < Wanted) {
        const int limit = g_startLimit.load();
        if (limit >= 0 && int(threads.size()) >= limit) {
          throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        }
        threads.emplace_back([this] { Work(); });
      }
    } catch (...) {
      Stop();
      refusedAt = Wanted;
    }
  }

  int Size() const { return int(threads.size()); }

  void Run(TJob& Job) {
    {
      std::unique_lock<std::mutex> lock(m);
      idle.wait(lock, [&] { return busy == 0; });
      job = &Job;
      ++generation;
    }
    wake.notify_all();
    Job.RunParts();
    std::unique_lock<std::mutex> lock(m);
    idle.wait(lock, [&] { return busy == 0; });
    job = nullptr;
  }

  void Stop() {
    {
      std::lock_guard<std::mutex> lock(m);
      stopping = true;
    }
    wake.notify_all();
    for (auto& t : threads) t.join();
    threads.clear();
    stopping = false;
    refusedAt = -1;
  }

 private:
  void Work() {
    t_poolThread = true;
    std::unique_lock<std::mutex> lock(m);
    std::uint64_t seen = generation;
    for (;;) {
      wake.wait(lock, [&] { return stopping || generation != seen; });
      if (stopping) return;
      seen = generation;
      TJob* current = job;
      if (!current) continue;
      ++busy;
      lock.unlock();
      current->RunParts();
      lock.lock();
      if (--busy == 0) idle.notify_all();
    }
  }

  std::mutex m;
  std::condition_variable wake, idle;
  std::vector<std::thread> threads;
  bool stopping = false;
  std::uint64_t generation = 0;
  int busy = 0;
  TJob* job = nullptr;
  int refusedAt = -1;
};

TPool& Pool() {
  static TPool pool;
  return pool;
}

// Held by the one For that is using the pool.
std::atomic<bool> g_poolInUse{false};

}  // namespace

std::int64_t MinItemsPerPart(std::int64_t ItemWork) {
  constexpr std::int64_t kWorthAPart = std::int64_t(1) << 18;
  const std::int64_t work = std::clamp<std::int64_t>(ItemWork, 1, kWorthAPart);
  return (kWorthAPart + work - 1) / work;
}

int Threads() {
  const int n = g_threads.load();
  return n > 0 ? n : DefaultThreads();
}

void SetThreads(int Count) { g_threads.store(std::clamp(Count, 0, 256)); }

void SimulateThreadLimit(int Started) {
  Pool().Stop();
  g_startLimit.store(Started);
}

void For(std::int64_t Count, const TBody& Body, std::int64_t MinPerThread) {
  if (Count <= 0) return;
  const std::int64_t parts = std::min<std::int64_t>(Threads(), Count / std::max<std::int64_t>(1, MinPerThread));
  if (parts <= 1) {
    Body(0, Count);
    return;
  }
  TJob job(Body, Count, parts);
  if (t_poolThread || g_poolInUse.exchange(true)) {
    job.RunParts();  // the pool is busy with the caller's own work or another's
  } else {
    struct TRelease {
      ~TRelease() { g_poolInUse.store(false); }
    } release;
    TPool& pool = Pool();
    pool.Ensure(Threads() - 1);
    if (pool.Size() == 0) {
      job.RunParts();
    } else {
      pool.Run(job);
    }
  }
  if (job.Failure) std::rethrow_exception(job.Failure);
}

}  // namespace Parallel
