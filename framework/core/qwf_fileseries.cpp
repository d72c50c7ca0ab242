#include "framework/core/qwf_fileseries.h"

#include <atomic>
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

// One file on its way: written, synced, then named.
struct InFlight {
    CQWF_StdFile file;
    QWF_FileWrite outcome = QWF_FileWrite::kWritten;
    bool release = false;  // named: its earlier file is to be closed (the space freed)
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

// The files are the units of an ordered run: any participant makes, writes and syncs one
// (the writing in one of the job's slots), the calling thread names them in order. The
// participants beyond the writers mostly wait for their syncs, so that the system writes out
// many files together.
class Series : public qwp::OrderedWork {
public:
    Series(const CQWF_StringArray& paths, int mode, CQWF_FileSeriesJob& job)
        : m_paths(paths), m_mode(mode), m_job(job), m_count(static_cast<uint32_t>(paths.GetCount()))
    {
    }
    ~Series()
    {
        delete[] m_ring;  // gives up every new file that was not named
        delete[] m_free;
    }

    QWF_SeriesEnd Run();

private:
    int64_t Window(int64_t taken) override { return taken + m_ringSize; }
    bool Work(int64_t unit, int participant) override;
    bool Take(int64_t unit, bool) override;
    InFlight& At(int64_t index) { return m_ring[static_cast<uint32_t>(index) % m_ringSize]; }
    uint32_t TakeSlot();
    void GiveBackSlot(uint32_t slot);

    const CQWF_StringArray& m_paths;
    const int m_mode;
    CQWF_FileSeriesJob& m_job;
    const uint32_t m_count;
    uint32_t m_writers = 1;
    InFlight* m_ring = nullptr;  // the files on their way, by index modulo its size
    uint32_t m_ringSize = 1;
    std::mutex m_slotLock;
    std::condition_variable m_slotFreed;
    uint32_t* m_free = nullptr;  // the writer slots free, m_freeCount of them
    uint32_t m_freeCount = 0;
    std::atomic<bool> m_stopping{false};  // files not yet written are left unwritten
    QWF_SeriesEnd m_end;
};

uint32_t Series::TakeSlot()
{
    std::unique_lock<std::mutex> held(m_slotLock);
    m_slotFreed.wait(held, [&] { return m_freeCount > 0; });
    return m_free[--m_freeCount];
}

void Series::GiveBackSlot(uint32_t slot)
{
    {
        std::lock_guard<std::mutex> held(m_slotLock);
        m_free[m_freeCount++] = slot;
    }
    m_slotFreed.notify_one();
}

bool Series::Work(int64_t unit, int)
{
    InFlight& f = At(unit);
    // The file that had the place before took its name: its earlier file is closed first.
    if (f.release) {
        f.file.ReleaseEarlier();
        f.release = false;
    }
    f.outcome = QWF_FileWrite::kWriterFailed;
    if (m_stopping.load()) return true;
    CQWF_String path;
    m_paths.GetAtInto(static_cast<size_t>(unit), path);
    if (!f.file.OpenReplacement(path, m_mode, false, false)) {
        f.outcome = QWF_FileWrite::kNotCreated;
        return true;
    }
    const uint32_t slot = TakeSlot();
    const bool written = m_job.WriteFile(f.file, static_cast<uint32_t>(unit), slot);
    GiveBackSlot(slot);
    if (!written) return true;
    f.outcome = f.file.CloseWithoutSync() && f.file.IsWrittenWhole() && (m_stopping.load() || f.file.SyncReplacement())
                    ? QWF_FileWrite::kWritten
                    : QWF_FileWrite::kNotStored;
    return true;
}

bool Series::Take(int64_t unit, bool)
{
    InFlight& f = At(unit);
    bool named = false;
    if (f.outcome != QWF_FileWrite::kWritten) m_end.outcome = f.outcome;
    else if (!m_job.Next(static_cast<uint32_t>(unit))) m_end.heldBack = true;
    else if (!f.file.CommitKeepingEarlier()) m_end.outcome = QWF_FileWrite::kNotStored;
    else named = true;
    if (!named) {
        m_stopping.store(true);
        return false;
    }
    ++m_end.written;
    f.release = true;
    return true;
}

QWF_SeriesEnd Series::Run()
{
    RemoveStale(m_paths);
    const uint32_t jobThreads = m_job.GetThreads();
    m_writers = jobThreads < m_count ? jobThreads : m_count;
    if (m_writers > static_cast<uint32_t>(qwp::kMaxThreads)) m_writers = qwp::kMaxThreads;
    if (m_writers < 1) m_writers = 1;
    int participants = 1;
    if (m_writers >= 2) {
        int helpers = kHelpersAWriter * static_cast<int>(m_writers);
        if (helpers > qwp::kMaxThreads - static_cast<int>(m_writers)) helpers = qwp::kMaxThreads - static_cast<int>(m_writers);
        participants = static_cast<int>(m_writers) + helpers;
        m_ringSize = m_writers * kFilesAWriter + static_cast<uint32_t>(helpers);
    }
    m_ring = new (std::nothrow) InFlight[m_ringSize];
    m_free = new (std::nothrow) uint32_t[m_writers];
    if (!m_ring || !m_free) {
        // One file after the other.
        delete[] m_ring;
        delete[] m_free;
        m_writers = m_ringSize = 1;
        participants = 1;
        m_ring = new (std::nothrow) InFlight[1];
        m_free = new (std::nothrow) uint32_t[1];
        if (!m_ring || !m_free) {
            m_end.outcome = QWF_FileWrite::kNotCreated;
            return m_end;
        }
    }
    for (uint32_t k = 0; k < m_writers; ++k) m_free[k] = m_writers - 1 - k;
    m_freeCount = m_writers;
    qwp::RunOrdered(m_count, participants, *this);
    // The last earlier files are closed.
    for (uint32_t i = 0; i < m_ringSize; ++i)
        if (m_ring[i].release) m_ring[i].file.ReleaseEarlier();
    if (m_end.written < m_count && !m_end.heldBack && m_end.outcome == QWF_FileWrite::kWriterFailed)
        m_job.TellFailure(m_end.written);
    return m_end;
}

}  // namespace

QWF_SeriesEnd QWF_WriteFileSeries(const CQWF_StringArray& paths, int mode, CQWF_FileSeriesJob& job)
{
    Series series(paths, mode, job);
    return series.Run();
}
