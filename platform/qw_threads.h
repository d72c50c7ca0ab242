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

// Work in units 0, 1, ... shared out among threads (RunOrdered): the units are handed out in
// order, each to one participant, the calling thread among them, which works on it; the calling
// thread takes the worked units in order, one after the other, and reports the progress and
// asks about a cancel there. Every unit handed out is worked on, whichever threads ran.
class OrderedWork {
public:
    virtual ~OrderedWork() = default;

    // On the calling thread, before the first unit and after each Take: the units below the
    // answer may be handed out while `taken` units have been taken (this bounds what is kept
    // between a unit's work and its take). The unit after the last one taken always may be.
    virtual int64_t Window(int64_t taken)
    {
        (void)taken;
        return INT64_MAX;
    }
    // Whether the unit goes only to the calling thread (work that calls the host). Asked under
    // the run's lock, for the next unit to hand out.
    virtual bool CallersOwn(int64_t unit)
    {
        (void)unit;
        return false;
    }
    // Under the run's lock, in unit order, as the unit goes to `participant`.
    virtual void HandOut(int64_t unit, int participant)
    {
        (void)unit;
        (void)participant;
    }
    // The unit's work, on the thread of the participant it went to (0: the calling thread);
    // false: it failed.
    virtual bool Work(int64_t unit, int participant) = 0;
    // On the calling thread, in unit order, once the unit's work has ended (`worked`: its
    // answer). False ends the run there: no unit is handed out after it, and the run returns
    // once those already handed out have been worked on (they are not taken).
    virtual bool Take(int64_t unit, bool worked)
    {
        (void)unit;
        return worked;
    }
    // In a run of several participants, on the calling thread, when the next unit to take is
    // not worked yet, before it works on a unit itself: work of its own (the host's), true
    // when there was some. The window is then asked again (Window with the units taken so far).
    virtual bool CallerWork() { return false; }

protected:
    // From Take: part(context, k, participant) for the parts k = 0 .. parts - 1, on every
    // participant as it comes free from its unit and on the calling thread; returns once every
    // part has ended. Outside a run (or from another thread) the calling thread does them all.
    void ShareParts(int64_t parts, void (*part)(void* context, int64_t k, int participant),
                    void* context);

private:
    friend bool RunOrdered(int64_t, int, OrderedWork&);
    void* m_run = nullptr;
};

// Runs the units 0 .. count - 1 of `work` with up to `participants` participants (at most
// kMaxThreads), numbered 0 (the calling thread) .. participants - 1, each on a thread of its
// own: a worker scope's threads when called on the thread that made it (more started for the
// scope when it has fewer), else threads started for the call. Within another run's unit, or
// when no thread can be started, the calling thread does every unit itself. True when every
// unit was taken and no Take ended the run.
bool RunOrdered(int64_t count, int participants, OrderedWork& work);

// Worker threads kept for a span of work (the filter's one host call): while a scope is alive,
// RunOrdered called on the thread that made it runs its participants on the scope's threads
// instead of starting threads of its own; a run that asks for more participants than the scope
// has threads gets more, kept until the scope ends. The threads end, joined, when the scope
// does; scopes do not nest (an inner one keeps no threads).
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
// there is more than one range, in no particular order. On the calling thread of a run (in a
// Take) the ranges are parts of that run, shared as with ShareParts.
void ParallelFor(int64_t count, int64_t grain, void (*work)(void* context, int64_t begin, int64_t end),
                 void* context);

// Sets the n bytes at p to value, on up to ThreadCount() threads for a large block. The first
// write of fresh memory is where the system supplies its pages: done by several threads, that
// costs a fraction of the time.
void FillParallel(void* p, size_t n, uint8_t value);

}  // namespace qwp
