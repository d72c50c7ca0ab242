#include <gtest/gtest.h>

#include <dirent.h>
#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <chrono>
#include <memory>
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

// Waits until `n` threads have arrived (each calls this once); false after 30 s without them,
// so that work that never runs at once fails instead of hanging.
bool AllArrive(std::atomic<int>& arrived, int n)
{
    arrived.fetch_add(1);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (arrived.load() < n) {
        if (std::chrono::steady_clock::now() > until) return false;
        sched_yield();
    }
    return true;
}

// Records what a run does: which thread worked on each unit and when, the order of the takes,
// the window and the calling thread's own units kept, the parts of a shared step.
struct Recorder : qwp::OrderedWork {
    int64_t count;
    int64_t window;           // units handed out ahead of the takes (0: no bound)
    int64_t failing = -1;     // the unit whose work fails
    int64_t endAt = -1;       // the unit whose take ends the run
    int64_t shareAt = -1;     // the unit whose take shares out parts
    int64_t rangesAt = -1;    // the unit whose take calls ParallelFor (and again in a part)
    int64_t feedStep = 0;     // the calling thread's own work lets this many more units out
    std::atomic<int64_t> fed{0};
    int atOnce = 0;           // the first units wait until this many work at once
    int partsAtOnce = 0;      // the first parts wait until this many run at once
    pthread_t caller = pthread_self();
    std::vector<pthread_t> workedBy;
    std::vector<std::atomic<int>> worked, parts, items;
    std::vector<int64_t> taken;
    std::atomic<int64_t> handedOut{0};
    std::atomic<int> arrived{0}, partsArrived{0}, rangesArrived{0};
    std::atomic<int> faults{0};
    std::atomic<int64_t> takenSoFar{0};

    Recorder(int64_t n, int64_t w) : count(n), window(w), workedBy(size_t(n)), worked(size_t(n)), parts(64), items(2000) {}
    int64_t Window(int64_t t) override
    {
        const int64_t w = window ? t + window : INT64_MAX;
        return feedStep && fed.load() < w ? fed.load() : w;
    }
    bool CallerWork() override
    {
        if (!feedStep || fed.load() >= count) return false;
        if (!pthread_equal(pthread_self(), caller)) faults.fetch_add(1);
        fed.fetch_add(feedStep);
        return true;
    }
    bool ownUnits = true;     // units 13, 23, ... are the calling thread's own
    bool CallersOwn(int64_t unit) override { return ownUnits && unit % 10 == 3 && unit > 10; }
    void HandOut(int64_t unit, int) override
    {
        // In order, within the window.
        if (unit != handedOut.load() || (window && unit >= takenSoFar.load() + window) ||
            (feedStep && unit >= fed.load() && unit > takenSoFar.load()))
            faults.fetch_add(1);
        handedOut.store(unit + 1);
    }
    bool Work(int64_t unit, int) override
    {
        workedBy[size_t(unit)] = pthread_self();
        if (unit < atOnce && !AllArrive(arrived, atOnce)) faults.fetch_add(1);
        // Units after the one whose take ends the run wait for that take (the calling thread,
        // which makes it, only briefly): the run's end finds units still to hand out however
        // the threads are scheduled.
        if (endAt >= 0 && unit > endAt) {
            const bool onCaller = pthread_equal(pthread_self(), caller);
            const auto until = std::chrono::steady_clock::now() +
                               std::chrono::milliseconds(onCaller ? 20 : 30000);
            while (takenSoFar.load() <= endAt && std::chrono::steady_clock::now() < until) sched_yield();
        }
        worked[size_t(unit)].fetch_add(1);
        return unit != failing;
    }
    bool Take(int64_t unit, bool ok) override
    {
        if (!pthread_equal(pthread_self(), caller) || worked[size_t(unit)].load() != 1 ||
            ok != (unit != failing))
            faults.fetch_add(1);
        taken.push_back(unit);
        takenSoFar.store(unit + 1);
        if (unit == shareAt)
            ShareParts(64, [](void* c, int64_t k, int) {
                Recorder& r = *static_cast<Recorder*>(c);
                if (k < r.partsAtOnce && !AllArrive(r.partsArrived, r.partsAtOnce)) r.faults.fetch_add(1);
                r.parts[size_t(k)].fetch_add(1);
            }, this);
        if (unit == rangesAt) {
            // Items 0 .. 999 from the take, as many ranges at once as parts; 1000 .. 1999 from
            // within a part.
            Items fromTake{this, 0, partsAtOnce}, fromPart{this, 1000, 0};
            qwp::ParallelFor(1000, 10, Items::Count, &fromTake);
            ShareParts(2, [](void* c, int64_t k, int) {
                if (k == 0) qwp::ParallelFor(1000, 10, Items::Count, c);
            }, &fromPart);
        }
        return unit != endAt;
    }
    struct Items {
        Recorder* r;
        int64_t first;
        int atOnce;  // the first ranges wait until this many run at once
        static void Count(void* c, int64_t begin, int64_t end)
        {
            Items& s = *static_cast<Items*>(c);
            if (begin < 10 * s.atOnce && !AllArrive(s.r->rangesArrived, s.atOnce)) s.r->faults.fetch_add(1);
            for (int64_t i = begin; i < end; ++i) s.r->items[size_t(s.first + i)].fetch_add(1);
        }
    };
};

}  // namespace

// The units are handed out in order within the window, each worked on once, the calling
// thread's own ones on it; they are taken in order on the calling thread, each after its work,
// with its work's answer; a take that ends the run stops the handing out, and every unit handed
// out has been worked on when the run returns; the calling thread's own work widens the window;
// ParallelFor in a take shares its ranges among the
// participants, and in a part runs them all. On one thread, on several, within a scope with
// fewer threads than asked for (it is given more), and within another run's unit (its thread
// alone).
TEST(Threads, OrderedWorkIsTakenInOrderOnTheCallingThread)
{
    for (int participants : {1, 2, 5})
        for (bool scoped : {false, true})
            for (int64_t window : {0, 3}) {
                SCOPED_TRACE(::testing::Message() << participants << " participants, window "
                                                  << window << (scoped ? ", in a scope of 2" : ""));
                std::unique_ptr<qwp::WorkerScope> scope;
                if (scoped) scope = std::make_unique<qwp::WorkerScope>(2);
                Recorder all(300, window);
                all.failing = 7;
                // As many work at once as the window lets.
                all.atOnce = window && window < participants ? int(window) : participants;
                EXPECT_TRUE(qwp::RunOrdered(300, participants, all));
                EXPECT_EQ(all.faults.load(), 0);
                ASSERT_EQ(all.taken.size(), 300u);
                for (int64_t u = 0; u < 300; ++u) {
                    EXPECT_EQ(all.taken[size_t(u)], u);
                    if (u % 10 == 3 && u > 10) {
                        EXPECT_TRUE(pthread_equal(all.workedBy[size_t(u)], all.caller)) << u;
                    }
                }
                // The calling thread works too: it is one of the participants at work at once.
                bool callerWorked = false;
                for (int64_t u = 0; u < participants; ++u)
                    callerWorked |= pthread_equal(all.workedBy[size_t(u)], all.caller);
                if (all.atOnce == participants) {
                    EXPECT_TRUE(callerWorked);
                }

                // Units let out by the calling thread's own work, as many at once as before.
                Recorder fed(300, window);
                fed.feedStep = 7;
                fed.ownUnits = false;
                fed.atOnce = all.atOnce;
                EXPECT_TRUE(qwp::RunOrdered(300, participants, fed));
                EXPECT_EQ(fed.faults.load(), 0);
                EXPECT_EQ(fed.taken.size(), 300u);
                if (participants > 1) {
                    EXPECT_GE(fed.fed.load(), 300);
                }

                Recorder ends(300, window);
                ends.endAt = 40;
                ends.ownUnits = false;
                EXPECT_FALSE(qwp::RunOrdered(300, participants, ends));
                EXPECT_EQ(ends.faults.load(), 0);
                EXPECT_EQ(ends.taken.size(), 41u);
                // The handing out stopped with the run: units were left.
                EXPECT_LT(ends.handedOut.load(), 300);
                for (int64_t u = 0; u < 300; ++u)
                    EXPECT_EQ(ends.worked[size_t(u)].load(), u < ends.handedOut.load() ? 1 : 0) << u;

                // Another participant takes part in the parts and in the ranges of a take.
                Recorder shares(300, window);
                shares.ownUnits = false;
                shares.shareAt = 20;
                shares.rangesAt = 30;
                shares.partsAtOnce = participants > 1 ? 2 : 0;
                EXPECT_TRUE(qwp::RunOrdered(300, participants, shares));
                EXPECT_EQ(shares.faults.load(), 0);
                for (auto& p : shares.parts) EXPECT_EQ(p.load(), 1);
                for (auto& i : shares.items) EXPECT_EQ(i.load(), 1);
            }
    // Within a unit of another run: on that unit's thread alone.
    struct Outer : qwp::OrderedWork {
        std::atomic<int> faults{0};
        bool Work(int64_t, int) override
        {
            Recorder inner(20, 0);
            inner.caller = pthread_self();
            if (!qwp::RunOrdered(20, 4, inner) || inner.faults.load()) faults.fetch_add(1);
            for (pthread_t t : inner.workedBy)
                if (!pthread_equal(t, inner.caller)) faults.fetch_add(1);
            return true;
        }
    } outer;
    EXPECT_TRUE(qwp::RunOrdered(6, 3, outer));
    EXPECT_EQ(outer.faults.load(), 0);

    // A window that lets nothing out still lets the next unit to take out, one at a time.
    struct Shut : Recorder {
        Shut() : Recorder(20, 1) {}
        int64_t Window(int64_t) override { return 0; }
    } shut;
    shut.ownUnits = false;
    EXPECT_TRUE(qwp::RunOrdered(20, 3, shut));
    EXPECT_EQ(shut.faults.load(), 0);
    EXPECT_EQ(shut.taken.size(), 20u);
}

// Within a worker scope the runs use the scope's threads (the same ones run after run, none
// started anew); a run that asks for more participants than the scope has gets them, all at
// once, and they stay; another thread's run starts threads of its own; the scope's end leaves
// no thread behind.
TEST(Threads, AWorkerScopeKeepsItsThreadsAndGrowsForMoreParticipants)
{
    const int before = ThreadsOfTheProcess();
    struct Seen : qwp::OrderedWork {
        int atOnce;
        std::atomic<int> arrived{0}, faults{0};
        std::vector<pthread_t> ids;
        std::atomic<int> threads{0};  // of the process during the run
        explicit Seen(int n) : atOnce(n), ids(size_t(n)) {}
        bool Work(int64_t unit, int participant) override
        {
            ids[size_t(participant)] = pthread_self();
            threads.store(ThreadsOfTheProcess());
            if (unit < atOnce && !AllArrive(arrived, atOnce)) faults.fetch_add(1);
            return true;
        }
    };
    {
        qwp::WorkerScope scope(4);
        EXPECT_EQ(ThreadsOfTheProcess(), before + 3);
        Seen first(4), second(4);
        EXPECT_TRUE(qwp::RunOrdered(4, 4, first));
        EXPECT_TRUE(qwp::RunOrdered(4, 4, second));
        EXPECT_EQ(first.faults.load() + second.faults.load(), 0);
        EXPECT_EQ(first.threads.load(), before + 3);
        for (int k = 1; k < 4; ++k) EXPECT_TRUE(pthread_equal(first.ids[size_t(k)], second.ids[size_t(k)])) << k;
        Seen more(7);
        EXPECT_TRUE(qwp::RunOrdered(7, 7, more));
        EXPECT_EQ(more.faults.load(), 0);
        EXPECT_EQ(ThreadsOfTheProcess(), before + 6);
        // A run from another thread does not take the scope's threads.
        Seen other(3);
        pthread_t caller;
        ASSERT_EQ(pthread_create(&caller, nullptr,
                                 [](void* c) -> void* {
                                     qwp::RunOrdered(3, 3, *static_cast<Seen*>(c));
                                     return nullptr;
                                 },
                                 &other),
                  0);
        pthread_join(caller, nullptr);
        EXPECT_EQ(other.faults.load(), 0);
        for (int k = 0; k < 3; ++k)
            for (int j = 1; j < 7; ++j) EXPECT_FALSE(pthread_equal(other.ids[size_t(k)], more.ids[size_t(j)]));
    }
    EXPECT_EQ(ThreadsOfTheProcess(), before);
}
