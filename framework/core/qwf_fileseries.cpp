#include "framework/core/qwf_fileseries.h"

#include <condition_variable>
#include <mutex>
#include <new>
#include <string>

#include "platform/qw_paths.h"
#include "platform/qw_threads.h"

namespace {

// Files on their way and not yet named, for each writer: enough that a writer never waits for
// the calling thread to name a file.
constexpr uint32_t kFilesAWriter = 2;
// Threads that sync written files to the disk (a new file over an earlier one must be on the
// disk before it takes the name) and close the earlier files: mostly waiting, so several for
// each writer, and the system writes out many files together.
constexpr int kHelpersAWriter = 8;

// One file on its way. Any thread may do a step that is due; the threads that wait for a step
// do it themselves when nobody has taken it, so the series goes on however many threads ran.
struct InFlight {
    enum : uint8_t { kQueued, kWriting, kToSync, kSyncing, kDone };
    CQWF_StdFile file;
    uint8_t stage = kDone;
    bool release = false;    // named: its earlier file is to be closed (the space freed)
    bool releasing = false;  // a thread closes it
    QWF_FileWrite outcome = QWF_FileWrite::kWritten;
};

// Removes what stopped writers left in the folders of the series, once for each folder.
void RemoveStale(const CQWF_StringArray& paths)
{
    std::string done;
    CQWF_String path;
    for (size_t i = 0; i < paths.GetCount(); ++i) {
        paths.GetAtInto(i, path);
        const std::string text = path.GetBuffer();
        const size_t slash = text.find_last_of("\\/");
        const std::string folder = slash == std::string::npos ? std::string(".") : text.substr(0, slash + 1);
        if (i && folder == done) continue;
        qwp::RemoveStaleReplacements(folder.c_str());
        done = folder;
    }
}

class Series {
public:
    Series(const CQWF_StringArray& paths, int mode, CQWF_FileSeriesJob& job)
        : m_paths(paths), m_mode(mode), m_job(job), m_count(static_cast<uint32_t>(paths.GetCount()))
    {
    }
    ~Series()
    {
        delete[] m_ring;  // gives up every new file that was not named
        delete[] m_tasks;
    }

    QWF_SeriesEnd Run();

private:
    // Makes, writes and closes file `index` (synced too when `sync`).
    QWF_FileWrite Write(CQWF_StdFile& file, uint32_t index, uint32_t slot, bool sync);
    QWF_SeriesEnd OneAfterTheOther();
    static void Participant(void* self, int k);
    // Participant 0, the calling thread: hands out the files, names them in order, and ends.
    void Name();
    void Writer(uint32_t slot);
    void Helper();

    // The steps of a file, done with the lock held (and let go meanwhile).
    void WriteStep(std::unique_lock<std::mutex>& hold, uint32_t index, uint32_t slot);
    void SyncStep(std::unique_lock<std::mutex>& hold, InFlight& f);
    void ReleaseStep(std::unique_lock<std::mutex>& hold, InFlight& f);
    // Waits until the slot's earlier file is closed, closing it when nobody does.
    void Released(std::unique_lock<std::mutex>& hold, InFlight& f);
    void Done(InFlight& f, QWF_FileWrite outcome);
    // A step for the helpers; the oldest entry goes when the ring is full (its step is done by
    // whoever waits for it).
    void Task(uint32_t index)
    {
        if (m_taskTo - m_taskFrom == m_ringSize) ++m_taskFrom;
        m_tasks[m_taskTo++ % m_ringSize] = index % m_ringSize;
        m_changed.notify_all();
    }
    InFlight& At(uint32_t index) { return m_ring[index % m_ringSize]; }

    const CQWF_StringArray& m_paths;
    const int m_mode;
    CQWF_FileSeriesJob& m_job;
    const uint32_t m_count;
    uint32_t m_writers = 1;  // slots: 0 the calling thread, then one for each writer thread

    InFlight* m_ring = nullptr;
    uint32_t m_ringSize = 1;
    std::mutex m_lock;
    std::condition_variable m_changed;  // a file to write, sync or release, a step done, the end
    uint32_t m_queued = 0;  // files handed out: 0 .. m_queued - 1
    uint32_t m_taken = 0;   // the next of them to write
    // Ring of slots with a step for the helpers (a sync or a release); entries whose step was
    // done meanwhile are passed over.
    uint32_t* m_tasks = nullptr;
    uint32_t m_taskFrom = 0;
    uint32_t m_taskTo = 0;
    bool m_stopping = false;  // files not yet written are left unwritten
    bool m_ending = false;    // the threads leave
    QWF_SeriesEnd m_end;
};

QWF_FileWrite Series::Write(CQWF_StdFile& file, uint32_t index, uint32_t slot, bool sync)
{
    CQWF_String path;
    m_paths.GetAtInto(index, path);
    if (!file.OpenReplacement(path, m_mode, false, false)) return QWF_FileWrite::kNotCreated;
    if (!m_job.WriteFile(file, index, slot)) return QWF_FileWrite::kWriterFailed;
    const bool closed = sync ? file.Close() : file.CloseWithoutSync();
    return closed && file.IsWrittenWhole() ? QWF_FileWrite::kWritten : QWF_FileWrite::kNotStored;
}

void Series::Done(InFlight& f, QWF_FileWrite outcome)
{
    f.outcome = outcome;
    f.stage = InFlight::kDone;
    m_changed.notify_all();
}

void Series::Released(std::unique_lock<std::mutex>& hold, InFlight& f)
{
    while (f.release) {
        if (!f.releasing) ReleaseStep(hold, f);
        else m_changed.wait(hold);
    }
}

void Series::ReleaseStep(std::unique_lock<std::mutex>& hold, InFlight& f)
{
    f.releasing = true;
    hold.unlock();
    f.file.ReleaseEarlier();
    hold.lock();
    f.release = f.releasing = false;
    m_changed.notify_all();
}

void Series::WriteStep(std::unique_lock<std::mutex>& hold, uint32_t index, uint32_t slot)
{
    InFlight& f = At(index);
    // The file that had the slot before has its earlier file closed first.
    Released(hold, f);
    if (m_stopping) {
        Done(f, QWF_FileWrite::kWriterFailed);
        return;
    }
    f.stage = InFlight::kWriting;
    hold.unlock();
    const QWF_FileWrite outcome = Write(f.file, index, slot, false);
    hold.lock();
    if (outcome != QWF_FileWrite::kWritten || m_stopping) {
        Done(f, outcome);
        return;
    }
    f.stage = InFlight::kToSync;
    Task(index);
}

void Series::SyncStep(std::unique_lock<std::mutex>& hold, InFlight& f)
{
    f.stage = InFlight::kSyncing;
    bool synced = true;
    if (!m_stopping) {
        hold.unlock();
        synced = f.file.SyncReplacement();
        hold.lock();
    }
    Done(f, synced ? QWF_FileWrite::kWritten : QWF_FileWrite::kNotStored);
}

void Series::Writer(uint32_t slot)
{
    std::unique_lock<std::mutex> hold(m_lock);
    for (;;) {
        if (m_taken < m_queued) {
            WriteStep(hold, m_taken++, slot);
        } else if (m_ending) {
            return;
        } else {
            m_changed.wait(hold);
        }
    }
}

void Series::Helper()
{
    std::unique_lock<std::mutex> hold(m_lock);
    for (;;) {
        if (m_taskFrom < m_taskTo) {
            InFlight& f = m_ring[m_tasks[m_taskFrom++ % m_ringSize]];
            if (f.stage == InFlight::kToSync) SyncStep(hold, f);
            else if (f.release && !f.releasing) ReleaseStep(hold, f);
        } else if (m_ending) {
            return;
        } else {
            m_changed.wait(hold);
        }
    }
}

void Series::Participant(void* self, int k)
{
    auto* series = static_cast<Series*>(self);
    const uint32_t slot = static_cast<uint32_t>(k);
    if (slot == 0) series->Name();
    else if (slot < series->m_writers) series->Writer(slot);
    else series->Helper();
}

void Series::Name()
{
    std::unique_lock<std::mutex> hold(m_lock);
    for (uint32_t next = 0; next < m_count; ++next) {
        // Hand out the files up to a ring ahead; their slots are free, the files before `next`
        // having taken their names.
        const uint32_t ahead = m_count - next < m_ringSize ? m_count : next + m_ringSize;
        for (; m_queued < ahead; ++m_queued) At(m_queued).stage = InFlight::kQueued;
        m_changed.notify_all();
        InFlight& f = At(next);
        while (f.stage != InFlight::kDone) {
            if (f.stage == InFlight::kQueued && m_taken == next) {
                WriteStep(hold, m_taken++, 0);
            } else if (f.stage == InFlight::kToSync) {
                SyncStep(hold, f);
            } else {
                m_changed.wait(hold);
            }
        }
        if (f.outcome != QWF_FileWrite::kWritten) {
            m_end.outcome = f.outcome;
            break;
        }
        hold.unlock();
        const bool held = !m_job.Next(next);
        // A helper closes the earlier file (the system frees its space meanwhile).
        const bool named = !held && f.file.CommitKeepingEarlier();
        hold.lock();
        if (held) {
            m_end.heldBack = true;
            break;
        }
        if (!named) {
            m_end.outcome = QWF_FileWrite::kNotStored;
            break;
        }
        ++m_end.written;
        f.release = true;
        Task(next);
    }
    // Files not yet written are left so, those on their way are waited for, and the last
    // earlier files are closed.
    m_stopping = true;
    for (; m_taken < m_queued; ++m_taken) Done(At(m_taken), QWF_FileWrite::kWriterFailed);
    for (uint32_t i = 0; i < m_ringSize; ++i) {
        InFlight& f = m_ring[i];
        while (f.stage != InFlight::kDone) {
            if (f.stage == InFlight::kToSync) SyncStep(hold, f);
            else m_changed.wait(hold);
        }
        Released(hold, f);
    }
    m_ending = true;
    m_changed.notify_all();
}

QWF_SeriesEnd Series::OneAfterTheOther()
{
    QWF_SeriesEnd end;
    InFlight f;
    for (uint32_t next = 0; next < m_count; ++next) {
        f.outcome = Write(f.file, next, 0, true);
        if (f.outcome != QWF_FileWrite::kWritten) {
            end.outcome = f.outcome;
            break;
        }
        if (!m_job.Next(next)) {
            end.heldBack = true;
            break;
        }
        if (!f.file.Commit()) {
            end.outcome = QWF_FileWrite::kNotStored;
            break;
        }
        ++end.written;
    }
    return end;
}

QWF_SeriesEnd Series::Run()
{
    RemoveStale(m_paths);
    const uint32_t jobThreads = m_job.GetThreads();
    m_writers = jobThreads < m_count ? jobThreads : m_count;
    if (m_writers > static_cast<uint32_t>(qwp::kMaxThreads)) m_writers = qwp::kMaxThreads;
    if (m_writers >= 2) {
        int helpers = kHelpersAWriter * static_cast<int>(m_writers);
        if (helpers > qwp::kMaxThreads - static_cast<int>(m_writers)) helpers = qwp::kMaxThreads - static_cast<int>(m_writers);
        m_ringSize = m_writers * kFilesAWriter + static_cast<uint32_t>(helpers);
        m_ring = new (std::nothrow) InFlight[m_ringSize];
        m_tasks = new (std::nothrow) uint32_t[m_ringSize];
        if (m_ring && m_tasks) {
            qwp::RunParallel(static_cast<int>(m_writers) + helpers, &Series::Participant, this);
        } else {
            m_writers = 1;
        }
    }
    QWF_SeriesEnd end = m_writers >= 2 ? m_end : OneAfterTheOther();
    if (end.written < m_count && !end.heldBack && end.outcome == QWF_FileWrite::kWriterFailed)
        m_job.TellFailure(end.written);
    return end;
}

}  // namespace

QWF_SeriesEnd QWF_WriteFileSeries(const CQWF_StringArray& paths, int mode, CQWF_FileSeriesJob& job)
{
    Series series(paths, mode, job);
    return series.Run();
}
