#include <gtest/gtest.h>

#include <dirent.h>
#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/qw_threads.h"

namespace {

// Restores QW_THREADS and the test hook.
struct ThreadSettings {
    ~ThreadSettings()
    {
        unsetenv("QW_THREADS");
        qwp::SetThreadCountForTesting(0);
    }
};

int Processors()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    EXPECT_EQ(sched_getaffinity(0, sizeof set, &set), 0);
    const int n = CPU_COUNT(&set);
    return n > qwp::kMaxThreads ? qwp::kMaxThreads : n;
}

}  // namespace

TEST(Threads, TheCountComesFromTheHookTheEnvironmentOrTheProcessors)
{
    ThreadSettings restore;
    unsetenv("QW_THREADS");
    EXPECT_EQ(qwp::ThreadCount(), Processors());
    setenv("QW_THREADS", "1", 1);
    EXPECT_EQ(qwp::ThreadCount(), 1);
    setenv("QW_THREADS", "3", 1);
    EXPECT_EQ(qwp::ThreadCount(), 3);
    // More than the most threads a piece of work takes: capped, which is said once.
    setenv("QW_THREADS", "1000", 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(qwp::ThreadCount(), qwp::kMaxThreads);
    EXPECT_EQ(qwp::ThreadCount(), qwp::kMaxThreads);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "QW_THREADS is 1000, more than the " + std::to_string(qwp::kMaxThreads) +
                  " threads that work is shared among at most: " + std::to_string(qwp::kMaxThreads) +
                  " are used\n");
    // Not a count (an error for the programs, which refuse to run): the processors.
    for (const char* bad : {"0", "-2", "two", "4x", ""}) {
        setenv("QW_THREADS", bad, 1);
        EXPECT_EQ(qwp::ThreadCount(), Processors()) << bad;
    }
    // The hook wins over the environment until it is taken back.
    setenv("QW_THREADS", "3", 1);
    qwp::SetThreadCountForTesting(2);
    EXPECT_EQ(qwp::ThreadCount(), 2);
    qwp::SetThreadCountForTesting(0);
    EXPECT_EQ(qwp::ThreadCount(), 3);
}

// Every participant runs once, the first on the caller's thread and the others on threads of
// their own, all at the same time (each waits until all have started), and all have ended
// when the call returns.
TEST(Threads, ParticipantsRunAtOnceAndAreJoined)
{
    struct Shared {
        std::atomic<int> arrived{0};
        std::vector<int> runs = std::vector<int>(6, 0);
        std::vector<pthread_t> ids = std::vector<pthread_t>(6);
    } shared;
    auto task = [](void* context, int k) {
        Shared& s = *static_cast<Shared*>(context);
        s.runs[static_cast<size_t>(k)] += 1;
        s.ids[static_cast<size_t>(k)] = pthread_self();
        s.arrived.fetch_add(1);
        while (s.arrived.load() < 6) sched_yield();
    };
    EXPECT_EQ(qwp::RunParallel(6, task, &shared), 6);
    EXPECT_EQ(shared.runs, std::vector<int>(6, 1));
    EXPECT_TRUE(pthread_equal(shared.ids[0], pthread_self()));
    for (size_t k = 1; k < 6; ++k) EXPECT_FALSE(pthread_equal(shared.ids[k], pthread_self())) << k;
    EXPECT_EQ(qwp::RunParallel(0, task, &shared), 0);
}

// Every byte of a block is filled, whatever its size and the number of threads; the bytes
// around it stay.
TEST(Threads, FillParallelWritesExactlyTheBlock)
{
    ThreadSettings restore;
    for (int threads : {1, 3, 8}) {
        qwp::SetThreadCountForTesting(threads);
        for (size_t n : {size_t{1}, size_t{4} << 20, (size_t{9} << 20) + 13}) {
            std::vector<uint8_t> bytes(n + 2, 7);
            qwp::FillParallel(bytes.data() + 1, n, 200);
            EXPECT_EQ(bytes.front(), 7);
            EXPECT_EQ(bytes.back(), 7);
            size_t filled = 0;
            for (size_t i = 1; i <= n; ++i) filled += bytes[i] == 200;
            EXPECT_EQ(filled, n) << threads << " threads, " << n << " bytes";
        }
    }
}

namespace {

int ThreadsOfTheProcess()
{
    int n = 0;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
        closedir(d);
    }
    return n;
}

}  // namespace

// Within a worker scope the calls run on the scope's threads (the same ones call after call,
// none started anew), every participant once; more participants than the scope has threads
// are left out; another thread's call starts threads of its own; the scope's end leaves no
// thread behind.
TEST(Threads, AWorkerScopeKeepsItsThreadsForEveryCallAndEndsThem)
{
    const int before = ThreadsOfTheProcess();
    struct Seen {
        std::atomic<int> runs{0};
        pthread_t ids[8];
        int threads = 0;  // of the process during the call
    };
    auto task = [](void* context, int k) {
        Seen& s = *static_cast<Seen*>(context);
        s.ids[k] = pthread_self();
        if (k == 0) s.threads = ThreadsOfTheProcess();
        s.runs.fetch_add(1);
    };
    {
        qwp::WorkerScope scope(4);
        EXPECT_EQ(ThreadsOfTheProcess(), before + 3);
        Seen first, second;
        EXPECT_EQ(qwp::RunParallel(4, task, &first), 4);
        EXPECT_EQ(qwp::RunParallel(4, task, &second), 4);
        EXPECT_EQ(first.runs.load(), 4);
        EXPECT_EQ(first.threads, before + 3);
        EXPECT_EQ(second.threads, before + 3);
        for (int k = 1; k < 4; ++k) EXPECT_TRUE(pthread_equal(first.ids[k], second.ids[k])) << k;
        EXPECT_EQ(ThreadsOfTheProcess(), before + 3);
        Seen more;
        EXPECT_EQ(qwp::RunParallel(8, task, &more), 4);
        EXPECT_EQ(more.runs.load(), 4);
        // A call from another thread does not take the scope's threads.
        Seen other;
        std::atomic<int> ran{0};
        pthread_t caller;
        struct Call {
            Seen* seen;
            std::atomic<int>* ran;
            void (*task)(void*, int);
        } call{&other, &ran, task};
        ASSERT_EQ(pthread_create(&caller, nullptr,
                                 [](void* c) -> void* {
                                     Call& x = *static_cast<Call*>(c);
                                     x.ran->store(qwp::RunParallel(3, x.task, x.seen));
                                     return nullptr;
                                 },
                                 &call),
                  0);
        pthread_join(caller, nullptr);
        EXPECT_EQ(ran.load(), 3);
        EXPECT_EQ(other.runs.load(), 3);
    }
    EXPECT_EQ(ThreadsOfTheProcess(), before);
}
