#include "platform/qw_threads.h"

#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/qw_memhint.h"

namespace qwp {
namespace {

std::atomic<int> g_testCount{0};

// QW_THREADS as a count; 0 when it is missing or no count (ThreadCountSettingError). A number
// above kMaxThreads counts as kMaxThreads, which is said on stderr once.
int EnvironmentCount()
{
    const char* v = std::getenv("QW_THREADS");
    if (!v || !*v || !ThreadCountSettingError().empty()) return 0;
    errno = 0;
    const unsigned long long n = std::strtoull(v, nullptr, 10);
    if (n <= static_cast<unsigned long long>(kMaxThreads) && errno == 0) return static_cast<int>(n);
    static std::atomic<unsigned long long> said{0};
    if (said.exchange(n) != n)
        std::fprintf(stderr, "QW_THREADS is %s, more than the %d threads that work is shared among at most: %d are used\n",
                     v, kMaxThreads, kMaxThreads);
    return kMaxThreads;
}

int ProcessorCount()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    int n = sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 1;
    if (n < 1) n = 1;
    return n > kMaxThreads ? kMaxThreads : n;
}


struct Run;

// Threads that work on the runs of one thread (a WorkerScope's, or those started for one run),
// each participant 1, 2, ... of whatever run is current. A thread with nothing to do sleeps on
// the pool's condition, not in a run: a run ends as soon as its units are worked on and taken,
// without waiting for threads that never joined it or that sleep.
struct Pool {
    pthread_t owner;
    pthread_t threads[kMaxThreads];
    int count = 0;  // threads started
    std::mutex lock;
    std::condition_variable wake;  // for the pool's threads: a unit or a part to take, the end
    std::condition_variable done;  // for the calling thread: a unit or every part worked
    bool quit = false;
    Run* run = nullptr;  // the current run
};

struct PoolSeat {
    Pool* pool;
    int index;  // the participant it runs, 1 ..
};

void* PoolThread(void* arg);

// Starts pool threads until the pool has `threads` (the owner's included); false when none
// more could be started and there are fewer. Called with the pool's lock held.
void GrowPool(Pool& p, int threads)
{
    while (p.count + 1 < threads) {
        PoolSeat* seat = new (std::nothrow) PoolSeat{&p, p.count + 1};
        if (!seat) return;
        if (pthread_create(&p.threads[p.count], nullptr, PoolThread, seat) != 0) {
            delete seat;
            return;
        }
        ++p.count;
    }
}

// Ends the pool's threads, joined.
void EndPool(Pool& p)
{
    {
        std::lock_guard<std::mutex> held(p.lock);
        p.quit = true;
    }
    p.wake.notify_all();
    for (int k = 0; k < p.count; ++k) pthread_join(p.threads[k], nullptr);
    p.count = 0;
}

std::atomic<Pool*> g_pool{nullptr};

// Blocks are filled in pieces of whole large pages, each page's first write by one thread.
constexpr int64_t kFillPiece = static_cast<int64_t>(kLargePageBytes);

struct Fill {
    uint8_t* p;
    uint8_t value;
};

void FillRange(void* context, int64_t begin, int64_t end)
{
    const Fill& f = *static_cast<const Fill*>(context);
    std::memset(f.p + begin, f.value, static_cast<size_t>(end - begin));
}

// Set on a thread while it takes part in a run (for good on a pool's threads): a run it starts
// meanwhile is its own alone.
thread_local bool t_inRun = false;

// The run whose calling thread this is, while it runs: ParallelFor called there (a take that
// copies a host strip) shares its ranges out as parts of that run.
thread_local Run* t_callerOf = nullptr;

// One run of RunOrdered on a pool. Every participant takes a part of ShareParts first, else
// the next unit when the window and CallersOwn let it have one; the calling thread takes the
// worked units in order before it works on any. Everything here is under the pool's lock but
// a unit's work and a part.
struct Run {
    enum : uint8_t { kWaiting, kWorking, kWorked, kFailed };
    OrderedWork& work;
    int64_t count;
    uint8_t* state;  // of every unit
    pthread_t caller;
    std::mutex& lock;
    std::condition_variable& wake;
    std::condition_variable& done;
    Run*& current;    // the pool's current run
    bool wakeAll;     // the pool has threads that are no participants of this run
    int participants = 1;
    int64_t next = 0;  // the next unit to hand out
    int64_t window = 1;
    int64_t taken = 0;
    int working = 0;  // units handed out and not yet worked
    bool stop = false;
    int64_t parts = 0, partNext = 0, partsDone = 0;
    void (*part)(void*, int64_t, int) = nullptr;
    void* partContext = nullptr;

    Run(OrderedWork& w, int64_t n, uint8_t* s, Pool& p)
        : work(w), count(n), state(s), caller(pthread_self()), lock(p.lock), wake(p.wake), done(p.done), current(p.run), wakeAll(false)
    {
    }

    bool MayHandOut(int participant)
    {
        return !stop && next < count && next < window && (participant == 0 || !work.CallersOwn(next));
    }
    void WorkUnit(std::unique_lock<std::mutex>& held, int participant)
    {
        const int64_t u = next++;
        state[u] = kWorking;
        ++working;
        work.HandOut(u, participant);
        // A unit the workers passed over (the calling thread's own) may be followed by theirs.
        if (participant == 0 && work.CallersOwn(u)) wake.notify_all();
        held.unlock();
        const bool ok = work.Work(u, participant);
        held.lock();
        state[u] = ok ? kWorked : kFailed;
        --working;
        if (participant != 0 && (u == taken || (stop && working == 0))) done.notify_one();
    }
    void DoPart(std::unique_lock<std::mutex>& held, int participant)
    {
        const int64_t k = partNext++;
        held.unlock();
        part(partContext, k, participant);
        held.lock();
        if (++partsDone == parts && participant != 0) done.notify_one();
    }
    // A pool thread's turn: a part or a unit when there is one for it (false: none).
    bool Step(std::unique_lock<std::mutex>& held, int participant)
    {
        if (participant >= participants) return false;
        if (partNext < parts) DoPart(held, participant);
        else if (MayHandOut(participant)) WorkUnit(held, participant);
        else return false;
        return true;
    }
    // Wakes as many pool threads as units may now be handed out, beyond the `was` first.
    void WakeFor(int64_t was)
    {
        const int64_t more = (window < count ? window : count) - was;
        if (more >= participants - 1 || (more > 0 && wakeAll)) wake.notify_all();
        else for (int64_t k = 0; k < more; ++k) wake.notify_one();
    }
    // The calling thread's own work (CallerWork), the window asked again after it; false when
    // it had none.
    bool HasOwnWork(std::unique_lock<std::mutex>& held)
    {
        held.unlock();
        if (!work.CallerWork()) {
            held.lock();
            return false;
        }
        const int64_t w = work.Window(taken);
        held.lock();
        const int64_t was = window > next ? window : next;
        if (w > window) window = w;
        WakeFor(was);
        return true;
    }
    // The calling thread's part; returns once the units handed out have been worked on and no
    // pool thread is in the run any more.
    bool Caller()
    {
        bool ok = true;
        std::unique_lock<std::mutex> held(lock);
        current = this;
        WakeFor(0);
        while (taken < count) {
            if (state[taken] >= kWorked) {
                const bool worked = state[taken] == kWorked;
                held.unlock();
                const bool kept = work.Take(taken, worked);
                const int64_t w = kept ? work.Window(taken + 1) : 0;
                held.lock();
                ++taken;
                if (!kept) {
                    ok = false;
                    break;
                }
                const int64_t was = window > next ? window : next;
                window = w > taken ? w : taken + 1;
                WakeFor(was);
            } else if (HasOwnWork(held) || state[taken] >= kWorked) {
                // Asked again: the lock was let go meanwhile.
            } else if (MayHandOut(0)) {
                WorkUnit(held, 0);
            } else {
                done.wait(held);
            }
        }
        stop = true;
        while (working > 0) done.wait(held);
        current = nullptr;
        return ok;
    }
};

void* PoolThread(void* arg)
{
    const PoolSeat seat = *static_cast<PoolSeat*>(arg);
    delete static_cast<PoolSeat*>(arg);
    Pool& p = *seat.pool;
    t_inRun = true;
    std::unique_lock<std::mutex> held(p.lock);
    for (;;) {
        if (p.quit) return nullptr;
        if (p.run && p.run->Step(held, seat.index)) continue;
        p.wake.wait(held);
    }
}

}  // namespace

std::string ThreadCountSettingError()
{
    const char* v = std::getenv("QW_THREADS");
    if (!v || !*v) return "";
    bool digits = true, above0 = false;
    for (const char* p = v; *p; ++p) {
        digits = digits && *p >= '0' && *p <= '9';
        above0 = above0 || (*p >= '1' && *p <= '9');
    }
    if (digits && above0) return "";
    return std::string("QW_THREADS is \"") + v + "\", which is not a thread count: use a whole number from 1 up, or leave it unset";
}

int ThreadCount()
{
    const int test = g_testCount.load(std::memory_order_relaxed);
    if (test > 0) return test;
    const int environment = EnvironmentCount();
    if (environment > 0) return environment;
    static const int processors = ProcessorCount();
    return processors;
}

void SetThreadCountForTesting(int n)
{
    g_testCount.store(n < 0 ? 0 : (n > kMaxThreads ? kMaxThreads : n), std::memory_order_relaxed);
}

WorkerScope::WorkerScope(int threads)
{
    if (threads > kMaxThreads) threads = kMaxThreads;
    if (threads <= 1 || g_pool.load()) return;
    Pool* p = new (std::nothrow) Pool;
    if (!p) return;
    p->owner = pthread_self();
    {
        std::lock_guard<std::mutex> held(p->lock);
        GrowPool(*p, threads);
    }
    m_pool = p;
    g_pool.store(p);
}

WorkerScope::~WorkerScope()
{
    Pool* p = static_cast<Pool*>(m_pool);
    if (!p) return;
    g_pool.store(nullptr);
    EndPool(*p);
    delete p;
}

namespace {

// ShareParts on `run`, from its calling thread.
void SharePartsOn(Run* run, int64_t parts, void (*part)(void* context, int64_t k, int participant),
                  void* context)
{
    std::unique_lock<std::mutex> held(run->lock);
    run->part = part;
    run->partContext = context;
    run->partNext = 0;
    run->partsDone = 0;
    run->parts = parts;
    run->wake.notify_all();
    while (run->partNext < parts) run->DoPart(held, 0);
    while (run->partsDone < parts) run->done.wait(held);
    run->parts = run->partNext = run->partsDone = 0;
}

}  // namespace

void OrderedWork::ShareParts(int64_t parts, void (*part)(void* context, int64_t k, int participant),
                             void* context)
{
    Run* run = static_cast<Run*>(m_run);
    if (!run || !pthread_equal(run->caller, pthread_self())) {
        for (int64_t k = 0; k < parts; ++k) part(context, k, 0);
        return;
    }
    SharePartsOn(run, parts, part, context);
}

bool RunOrdered(int64_t count, int participants, OrderedWork& work)
{
    if (count <= 0) return true;
    if (participants > kMaxThreads) participants = kMaxThreads;
    if (participants > count) participants = static_cast<int>(count);
    uint8_t* state = participants > 1 && !t_inRun ? new (std::nothrow) uint8_t[static_cast<size_t>(count)] : nullptr;
    if (!state) {
        // On this thread alone, each unit worked on and taken in turn.
        const bool outer = !t_inRun;
        t_inRun = true;
        bool ok = true;
        for (int64_t u = 0; ok && u < count; ++u) {
            work.HandOut(u, 0);
            const bool worked = work.Work(u, 0);
            ok = work.Take(u, worked);
        }
        if (outer) t_inRun = false;
        return ok;
    }
    std::memset(state, Run::kWaiting, static_cast<size_t>(count));
    // The scope's pool on the thread that made it, else threads started for this run.
    Pool* pool = g_pool.load();
    Pool own;
    const bool scoped = pool && pthread_equal(pool->owner, pthread_self());
    if (!scoped) pool = &own;
    {
        std::lock_guard<std::mutex> held(pool->lock);
        GrowPool(*pool, participants);
    }
    // Threads that could not be started are left out: the calling thread works on every unit
    // the others do not.
    if (participants > pool->count + 1) participants = pool->count + 1;
    Run run(work, count, state, *pool);
    run.participants = participants;
    // A thread woken for a unit and not taking part in this run would leave the unit waiting.
    run.wakeAll = participants < pool->count + 1;
    const int64_t w = work.Window(0);
    run.window = w > 0 ? w : 1;
    work.m_run = &run;
    t_inRun = true;
    Run* const outer = t_callerOf;
    t_callerOf = &run;
    const bool ok = run.Caller();
    t_callerOf = outer;
    t_inRun = false;
    work.m_run = nullptr;
    if (!scoped) EndPool(own);
    delete[] state;
    return ok;
}

namespace {

struct Ranges : OrderedWork {
    int64_t count, grain;
    void (*work)(void*, int64_t, int64_t);
    void* context;
    Ranges(int64_t n, int64_t g, void (*w)(void*, int64_t, int64_t), void* c)
        : count(n), grain(g), work(w), context(c) {}
    bool Work(int64_t unit, int) override
    {
        const int64_t at = unit * grain;
        work(context, at, count - at < grain ? count : at + grain);
        return true;
    }
    static void Part(void* self, int64_t k, int participant) { static_cast<Ranges*>(self)->Work(k, participant); }
};

}  // namespace

void ParallelFor(int64_t count, int64_t grain, void (*work)(void* context, int64_t begin, int64_t end),
                 void* context)
{
    if (count <= 0) return;
    if (grain < 1) grain = 1;
    const int64_t ranges = (count + grain - 1) / grain;
    Ranges job(count, grain, work, context);
    // On the calling thread of a run (between its parts), the run's participants share the
    // ranges as they come free from their units.
    Run* const run = t_callerOf;
    if (run && run->parts == 0 && ranges > 1 && run->participants > 1) {
        SharePartsOn(run, ranges, Ranges::Part, &job);
        return;
    }
    const int threads = ThreadCount();
    RunOrdered(ranges, ranges < threads ? static_cast<int>(ranges) : threads, job);
}

void FillParallel(void* p, size_t n, uint8_t value)
{
    if (!p || n == 0) return;
    Fill f{static_cast<uint8_t*>(p), value};
    ParallelFor(static_cast<int64_t>(n), kFillPiece, FillRange, &f);
}

}  // namespace qwp
