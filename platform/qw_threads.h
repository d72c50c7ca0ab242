// Worker threads for independent work inside one call: the caller's thread takes part and
// every thread started is joined before the call returns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qwp {

inline constexpr int kMaxThreads = 64;

// The threads one piece of work may use, the calling one included: QW_THREADS when it holds a
// whole number from 1 up (1 gives the one-thread run, a number above kMaxThreads counts as
// kMaxThreads, said on stderr once), else the processors this process may run on, at most
// kMaxThreads.
int ThreadCount();
// The error of a QW_THREADS that is set and no whole number from 1 up (the programs refuse to
// run with it, qw_envcheck.h); "" when it is unset, empty or a count.
std::string ThreadCountSettingError();
// Test hook: ThreadCount answers n (1..kMaxThreads) from now on; 0 goes back to the above.
void SetThreadCountForTesting(int n);

// Runs task(context, k) for the participants k = 0 .. participants - 1 at once: participant 0
// on the calling thread, every other one on a thread of its own. Returns, once every started
// thread has ended, the number of participants that ran; a thread that cannot be started is
// left out (so participants share their work out among themselves, and participant 0 alone
// must be able to do all of it).
int RunParallel(int participants, void (*task)(void* context, int participant), void* context);

// Worker threads kept for a span of work (the filter's one host call): while a scope is alive,
// RunParallel called on the thread that made it hands its participants to the scope's threads
// instead of starting threads of its own. The threads end, joined, when the scope does; scopes
// do not nest (an inner one keeps no threads).
class WorkerScope {
public:
    explicit WorkerScope(int threads);
    ~WorkerScope();
    WorkerScope(const WorkerScope&) = delete;
    WorkerScope& operator=(const WorkerScope&) = delete;

private:
    void* m_pool = nullptr;
};

// Calls work(context, begin, end) for consecutive ranges that together make [0, count), each
// of at most `grain` items, on up to ThreadCount() threads (the calling one included) when
// there is more than one range, in no particular order.
void ParallelFor(int64_t count, int64_t grain, void (*work)(void* context, int64_t begin, int64_t end),
                 void* context);

// Sets the n bytes at p to value, on up to ThreadCount() threads for a large block. The first
// write of fresh memory is where the system supplies its pages: done by several threads, that
// costs a fraction of the time.
void FillParallel(void* p, size_t n, uint8_t value);

}  // namespace qwp
