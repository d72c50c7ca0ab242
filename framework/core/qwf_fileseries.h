// Writing a series of files whole, several at a time.
//
// Every file of a series is written as CQWF_StdFile::WriteReplacing writes one: into a new file
// beside its name, which takes the name only once it was stored whole (and synced to the disk
// over an earlier file). The new files are made, written, flushed and synced on worker threads,
// several files at once (those beyond the job's writers mostly wait for their syncs); the files
// take their names on the calling thread, one after the other in order. A series therefore
// ends as it ends written one file after the other: at the first file that cannot be made,
// written or stored, or that the job holds back; the files before it stand under their names, and
// it and every later file leave the earlier file of their name as it was and nothing of their own
// behind.
#pragma once

#include <cstdint>

#include "framework/core/qwf_array.h"
#include "framework/core/qwf_file.h"

class CQWF_FileSeriesJob {
public:
    virtual ~CQWF_FileSeriesJob() = default;
    // How many files may be written at once (1: one after the other, all on the calling thread).
    virtual uint32_t GetThreads() const { return 1; }
    // Writes file `index` whole into the open file, on a worker thread (or the calling one): it
    // touches nothing but the file and what belongs to file `index` alone, except what belongs
    // to `slot` (below GetThreads), the worker that runs it. A failure it keeps for TellFailure.
    virtual bool WriteFile(CQWF_StdFile& file, uint32_t index, uint32_t slot) = 0;
    // On the calling thread, in order, when file `index` was written whole and is to take its
    // name: false holds it back, and the series ends there (a cancel).
    virtual bool Next(uint32_t /*index*/) { return true; }
    // On the calling thread: the writer of file `index`, the first that failed, failed.
    virtual void TellFailure(uint32_t /*index*/) {}
};

// How a series ended: files 0 to written - 1 stand under their names; when fewer than all
// were written, file `written` ended as `outcome` tells (kWriterFailed after TellFailure), or
// was held back by the job.
struct QWF_SeriesEnd {
    uint32_t written = 0;
    QWF_FileWrite outcome = QWF_FileWrite::kWritten;
    bool heldBack = false;
};

// Writes file i to paths[i], each new file opened in `mode` (CQWF_StdFile mode 2 or 4).
QWF_SeriesEnd QWF_WriteFileSeries(const CQWF_StringArray& paths, int mode, CQWF_FileSeriesJob& job);
