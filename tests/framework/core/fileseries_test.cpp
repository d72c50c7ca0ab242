// A series of files written whole (qwf_fileseries.h), one after the other and eight at a time,
// over an earlier series: a writer that fails, a file that cannot be made, a cancel and a full
// disk each end the series at the first file they hit, as a one-thread run ends it: the files
// before it are new, it and every later one are the earlier files, nothing else is left, and
// only that file's failure is told.
#include "framework/core/qwf_fileseries.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "platform/qw_paths.h"
#include "platform/qw_threads.h"
#include "support/test_support.h"

namespace {

constexpr uint32_t kFiles = 24;

std::string Earlier(uint32_t i) { return "earlier file " + std::to_string(i) + std::string(100, 'e'); }
std::string Fresh(uint32_t i) { return "new file " + std::to_string(i) + std::string(1000 + i, 'n'); }

class Job : public CQWF_FileSeriesJob {
public:
    uint32_t threads = 1;
    uint32_t failAt = kFiles;    // the writer of this file fails
    uint32_t holdAt = kFiles;    // Next holds this file back
    std::atomic<uint32_t> writes{0};
    std::vector<uint32_t> nexts, told;
    std::vector<uint8_t> slotsSeen = std::vector<uint8_t>(8);
    std::atomic<bool> badSlot{false};

    uint32_t GetThreads() const override { return threads; }
    bool WriteFile(CQWF_StdFile& file, uint32_t index, uint32_t slot) override
    {
        ++writes;
        if (slot >= threads) badSlot = true;
        const std::string text = Fresh(index);
        // Half, then the rest: a failing writer leaves a partial new file to be given up.
        if (file.Write(text.data(), text.size() / 2) < 0) return false;
        if (index == failAt) return false;
        return file.Write(text.data() + text.size() / 2, text.size() - text.size() / 2) > 0;
    }
    bool Next(uint32_t index) override
    {
        nexts.push_back(index);
        return index != holdAt;
    }
    void TellFailure(uint32_t index) override { told.push_back(index); }
};

struct Folder {
    qwtest::TempDir dir;
    CQWF_StringArray paths;
    Folder()
    {
        for (uint32_t i = 0; i < kFiles; ++i) {
            const std::string name = dir.File("piece_" + std::to_string(i) + ".png");
            qwtest::WriteWholeFile(name, Earlier(i));
            paths.Add(qwp::ToWindowsPath(name.c_str()).c_str());
        }
    }
    // Files 0 .. written - 1 new, the others as they were, nothing else in the folder.
    void Expect(uint32_t written) const
    {
        EXPECT_EQ(qwtest::FolderNames(dir.Path()).size(), kFiles);
        for (uint32_t i = 0; i < kFiles; ++i)
            EXPECT_EQ(qwtest::FileBytes(dir.File("piece_" + std::to_string(i) + ".png")), i < written ? Fresh(i) : Earlier(i))
                << "file " << i;
    }
};

std::vector<uint32_t> Upto(uint32_t n)
{
    std::vector<uint32_t> v;
    for (uint32_t i = 0; i < n; ++i) v.push_back(i);
    return v;
}

class FileSeries : public testing::TestWithParam<uint32_t> {};

}  // namespace

TEST_P(FileSeries, EndsAtTheFirstFileThatFailsAsOneThreadEndsIt)
{
    const uint32_t threads = GetParam();
    const int mode = CQWF_StdFile::kModeCreateReadWrite;
    {
        SCOPED_TRACE("every file over an earlier one");
        Folder f;
        Job job;
        job.threads = threads;
        const QWF_SeriesEnd end = QWF_WriteFileSeries(f.paths, mode, job);
        EXPECT_EQ(end.written, kFiles);
        EXPECT_FALSE(end.heldBack);
        EXPECT_EQ(job.nexts, Upto(kFiles));
        EXPECT_TRUE(job.told.empty());
        EXPECT_EQ(job.writes, kFiles);
        EXPECT_FALSE(job.badSlot);
        f.Expect(kFiles);
    }
    for (const uint32_t at : {0u, 17u, kFiles - 1}) {
        SCOPED_TRACE(testing::Message() << "the writer of file " << at << " fails");
        Folder f;
        Job job;
        job.threads = threads;
        job.failAt = at;
        const QWF_SeriesEnd end = QWF_WriteFileSeries(f.paths, mode, job);
        EXPECT_EQ(end.written, at);
        EXPECT_EQ(end.outcome, QWF_FileWrite::kWriterFailed);
        EXPECT_EQ(job.nexts, Upto(at));
        EXPECT_EQ(job.told, std::vector<uint32_t>{at});
        f.Expect(at);
    }
    {
        // The writers make their files as they get to them, so the tenth file made may be one
        // of the first few dozen; the series ends at it.
        SCOPED_TRACE("the tenth file made cannot be made");
        Folder f;
        Job job;
        job.threads = threads;
        qwp::SetOpenFailureAfter(9);
        const QWF_SeriesEnd end = QWF_WriteFileSeries(f.paths, mode, job);
        qwp::SetOpenFailureAfter(-1);
        if (threads == 1) {
            EXPECT_EQ(end.written, 9u);
        }
        EXPECT_EQ(end.outcome, QWF_FileWrite::kNotCreated);
        EXPECT_EQ(job.nexts, Upto(end.written));
        EXPECT_TRUE(job.told.empty());
        f.Expect(end.written);
    }
    {
        SCOPED_TRACE("file 20 is held back");
        Folder f;
        Job job;
        job.threads = threads;
        job.holdAt = 20;
        const QWF_SeriesEnd end = QWF_WriteFileSeries(f.paths, mode, job);
        EXPECT_EQ(end.written, 20u);
        EXPECT_TRUE(end.heldBack);
        EXPECT_EQ(job.nexts, Upto(21));
        EXPECT_TRUE(job.told.empty());
        f.Expect(20);
    }
    {
        // Which file finds the disk full depends on the order the workers write in; the first
        // of them ends the series.
        SCOPED_TRACE("a full disk");
        Folder f;
        Job job;
        job.threads = threads;
        qwp::SetFreeSpace(qwp::ToWindowsPath(f.dir.Path().c_str()).c_str(), 9 * 1100);
        const QWF_SeriesEnd end = QWF_WriteFileSeries(f.paths, mode, job);
        qwp::SetFreeSpace(nullptr, -1);
        EXPECT_LE(end.written, 9u);  // the first nine files take 9126 bytes, ten take 10145
        if (threads == 1) {
            EXPECT_EQ(end.written, 9u);
        }
        EXPECT_TRUE(end.outcome == QWF_FileWrite::kNotStored || end.outcome == QWF_FileWrite::kWriterFailed);
        EXPECT_EQ(job.nexts, Upto(end.written));
        EXPECT_EQ(job.told.size(), end.outcome == QWF_FileWrite::kWriterFailed ? 1u : 0u);
        f.Expect(end.written);
    }
}

INSTANTIATE_TEST_SUITE_P(Threads, FileSeries, testing::Values(1u, 8u));

// Inside the filter call's worker scope, which has fewer threads than the series has writers,
// the writers still write at once (each of the first files waits until all four are being
// written), and the series ends as on one thread.
TEST(FileSeriesInAScope, WritersBeyondTheScopesThreadsWriteAtOnce)
{
    struct AtOnce : Job {
        std::atomic<int> arrived{0};
        std::atomic<bool> apart{false};
        bool WriteFile(CQWF_StdFile& file, uint32_t index, uint32_t slot) override
        {
            if (index < 4) {
                arrived.fetch_add(1);
                const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
                while (arrived.load() < 4 && !apart.load())
                    if (std::chrono::steady_clock::now() > until) apart.store(true);
            }
            return Job::WriteFile(file, index, slot);
        }
    };
    const qwp::WorkerScope scope(2);
    Folder f;
    AtOnce job;
    job.threads = 4;
    const QWF_SeriesEnd end = QWF_WriteFileSeries(f.paths, CQWF_StdFile::kModeCreateReadWrite, job);
    EXPECT_FALSE(job.apart.load()) << "the first four files were not written at once";
    EXPECT_EQ(end.written, kFiles);
    EXPECT_EQ(job.nexts, Upto(kFiles));
    EXPECT_FALSE(job.badSlot);
    f.Expect(kFiles);
}
