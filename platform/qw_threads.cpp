#include "platform/qw_threads.h"

#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace qwp {
namespace {

std::atomic<int> g_testCount{0};

// QW_THREADS as a count; 0 when it is missing or not a whole number above 0.
int EnvironmentCount()
{
    const char* v = std::getenv("QW_THREADS");
    if (!v || !*v) return 0;
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(v, &end, 10);
    if (*end || errno || n < 1) return 0;
    return n > kMaxThreads ? kMaxThreads : static_cast<int>(n);
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

// Blocks below this size are filled on the calling thread; larger ones in pieces of this size.
constexpr size_t kFillPiece = size_t{2} << 20;

struct FillWork {
    uint8_t* p;
    size_t n;
    uint8_t value;
    std::atomic<size_t> next{0};
};

void FillPieces(void* context, int)
{
    FillWork& w = *static_cast<FillWork*>(context);
    for (;;) {
        const size_t at = w.next.fetch_add(kFillPiece, std::memory_order_relaxed);
        if (at >= w.n) return;
        std::memset(w.p + at, w.value, w.n - at < kFillPiece ? w.n - at : kFillPiece);
    }
}

}  // namespace

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

int RunParallel(int participants, void (*task)(void* context, int participant), void* context)
{
    if (participants < 1) return 0;
    if (participants > kMaxThreads) participants = kMaxThreads;
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

void FillParallel(void* p, size_t n, uint8_t value)
{
    if (!p || n == 0) return;
    const int threads = ThreadCount();
    if (threads <= 1 || n < 2 * kFillPiece) {
        std::memset(p, value, n);
        return;
    }
    FillWork work;
    work.p = static_cast<uint8_t*>(p);
    work.n = n;
    work.value = value;
    const size_t pieces = (n + kFillPiece - 1) / kFillPiece;
    RunParallel(pieces < static_cast<size_t>(threads) ? static_cast<int>(pieces) : threads,
                FillPieces, &work);
}

}  // namespace qwp
