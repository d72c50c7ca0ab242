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

struct Participant {
    void (*task)(void*, int);
    void* context;
    int index;
};

void* RunParticipant(void* arg)
{
    const Participant* p = static_cast<const Participant*>(arg);
    p->task(p->context, p->index);
    return nullptr;
}

// The threads of a WorkerScope, each waiting for the next job (a generation number) and
// running its participant of it.
struct Pool {
    pthread_t owner;
    pthread_t threads[kMaxThreads];
    int count = 0;  // threads started
    std::mutex lock;
    std::condition_variable start, done;
    uint64_t generation = 0;
    bool quit = false;
    void (*task)(void*, int) = nullptr;
    void* context = nullptr;
    int participants = 0;  // of the current job, participant 0 (the owner) included
    int running = 0;       // pool threads still running their participant
    bool busy = false;
};

struct PoolSeat {
    Pool* pool;
    int index;  // the participant it runs, 1 ..
};

void* PoolThread(void* arg)
{
    const PoolSeat seat = *static_cast<PoolSeat*>(arg);
    delete static_cast<PoolSeat*>(arg);
    Pool& p = *seat.pool;
    uint64_t seen = 0;
    std::unique_lock<std::mutex> held(p.lock);
    for (;;) {
        p.start.wait(held, [&] { return p.quit || p.generation != seen; });
        if (p.quit) return nullptr;
        seen = p.generation;
        if (seat.index >= p.participants) continue;
        void (*task)(void*, int) = p.task;
        void* context = p.context;
        held.unlock();
        task(context, seat.index);
        held.lock();
        if (--p.running == 0) p.done.notify_one();
    }
}

std::atomic<Pool*> g_pool{nullptr};

// Blocks are filled in pieces of whole large pages, each page's first write by one thread.
constexpr int64_t kFillPiece = static_cast<int64_t>(kLargePageBytes);

struct RangeWork {
    int64_t count;
    int64_t grain;
    void (*work)(void*, int64_t, int64_t);
    void* context;
    std::atomic<int64_t> next{0};
};

void Ranges(void* context, int)
{
    RangeWork& w = *static_cast<RangeWork*>(context);
    for (;;) {
        const int64_t at = w.next.fetch_add(w.grain, std::memory_order_relaxed);
        if (at >= w.count) return;
        w.work(w.context, at, w.count - at < w.grain ? w.count : at + w.grain);
    }
}

struct Fill {
    uint8_t* p;
    uint8_t value;
};

void FillRange(void* context, int64_t begin, int64_t end)
{
    const Fill& f = *static_cast<const Fill*>(context);
    std::memset(f.p + begin, f.value, static_cast<size_t>(end - begin));
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
    for (int k = 1; k < threads; ++k) {
        PoolSeat* seat = new (std::nothrow) PoolSeat{p, k};
        if (!seat) break;
        if (pthread_create(&p->threads[p->count], nullptr, PoolThread, seat) != 0) {
            delete seat;
            break;
        }
        ++p->count;
    }
    m_pool = p;
    g_pool.store(p);
}

WorkerScope::~WorkerScope()
{
    Pool* p = static_cast<Pool*>(m_pool);
    if (!p) return;
    g_pool.store(nullptr);
    {
        std::lock_guard<std::mutex> held(p->lock);
        p->quit = true;
    }
    p->start.notify_all();
    for (int k = 0; k < p->count; ++k) pthread_join(p->threads[k], nullptr);
    delete p;
}

int RunParallel(int participants, void (*task)(void* context, int participant), void* context)
{
    if (participants < 1) return 0;
    if (participants > kMaxThreads) participants = kMaxThreads;
    // The scope's threads, when this is its thread and they are free: participants beyond
    // them are left out.
    Pool* pool = g_pool.load();
    if (pool && participants > 1 && pthread_equal(pool->owner, pthread_self()) && !pool->busy) {
        const int ran = participants <= pool->count + 1 ? participants : pool->count + 1;
        {
            std::lock_guard<std::mutex> held(pool->lock);
            pool->busy = true;
            pool->task = task;
            pool->context = context;
            pool->participants = ran;
            pool->running = ran - 1;
            ++pool->generation;
        }
        pool->start.notify_all();
        task(context, 0);
        std::unique_lock<std::mutex> held(pool->lock);
        pool->done.wait(held, [&] { return pool->running == 0; });
        pool->busy = false;
        return ran;
    }
    Participant slots[kMaxThreads];
    pthread_t threads[kMaxThreads];
    bool started[kMaxThreads] = {};
    int ran = 1;
    for (int k = 1; k < participants; ++k) {
        slots[k] = Participant{task, context, k};
        started[k] = pthread_create(&threads[k], nullptr, RunParticipant, &slots[k]) == 0;
        if (started[k]) ++ran;
    }
    task(context, 0);
    for (int k = 1; k < participants; ++k)
        if (started[k]) pthread_join(threads[k], nullptr);
    return ran;
}

void ParallelFor(int64_t count, int64_t grain, void (*work)(void* context, int64_t begin, int64_t end),
                 void* context)
{
    if (count <= 0) return;
    if (grain < 1) grain = 1;
    const int64_t ranges = (count + grain - 1) / grain;
    const int threads = ThreadCount();
    if (threads <= 1 || ranges <= 1) {
        for (int64_t at = 0; at < count; at += grain) work(context, at, count - at < grain ? count : at + grain);
        return;
    }
    RangeWork w{count, grain, work, context};
    RunParallel(ranges < threads ? static_cast<int>(ranges) : threads, Ranges, &w);
}

void FillParallel(void* p, size_t n, uint8_t value)
{
    if (!p || n == 0) return;
    Fill f{static_cast<uint8_t*>(p), value};
    ParallelFor(static_cast<int64_t>(n), kFillPiece, FillRange, &f);
}

}  // namespace qwp
