// Files of a run: reading an input block by block, and writing an output so that a
// failure never leaves a half-written file behind.
#pragma once

#include <cstdint>
#include <string>

#include "engine/byte_stream.h"

namespace morvel {

// The cause code message 109 shows, from an errno value.
int FileErrorCause(int err);

// An input file read block by block.
class CInputFile {
public:
    CInputFile() = default;
    ~CInputFile();
    CInputFile(const CInputFile&) = delete;
    CInputFile& operator=(const CInputFile&) = delete;

    // 0 or an errno value; a directory is EISDIR.
    int Open(const std::string& path);
    // Up to `n` bytes: the count, 0 at the end, -1 when the read failed or a
    // regular file ended short of the length it had when opened. A regular
    // file is read to that length only.
    int64_t Read(uint8_t* p, int64_t n);
    // Reads into `stream` until it holds `limit` bytes or the file ends.
    // False when a read failed.
    bool ReadUpTo(CByteStream& stream, int64_t limit);
    bool AtEnd() const { return atEnd_; }

private:
    int fd_ = -1;
    bool regular_ = false;
    bool atEnd_ = false;
    int64_t left_ = 0;  // of a regular file's length
};

// An output file that replaces its target only once it is complete.
//
// A regular file (or a new one) is written to a new file in the target's
// directory, created exclusively and readable by its owner only, then
// flushed to disk, given the target's mode (0666 less the umask for a new
// file) and renamed over the target. A symbolic link is followed, so the
// file it points to is replaced and the link stays. Anything else (a pipe, a
// terminal, a device, the files under /dev and /proc) is written in place;
// /dev/stdout and the other names of an open descriptor write to that
// descriptor itself.
// Every operation returns 0 or an errno value; after a failure the target is
// as it was and the new file is gone.
class COutputFile {
public:
    COutputFile() = default;
    ~COutputFile();
    COutputFile(const COutputFile&) = delete;
    COutputFile& operator=(const COutputFile&) = delete;

    int Open(const std::string& path);
    int Write(const uint8_t* data, int64_t count);
    // Sets the mode and renames the new file over the target; closes the
    // file. `durable`: flush it to disk first (fsync), so that a crash
    // cannot leave an empty file where the old one was.
    int Commit(bool durable = true);
    void Abort();  // removes the new file, if any; closes the file

private:
    int fd_ = -1;
    bool inPlace_ = false;
    unsigned mode_ = 0;
    int64_t written_ = 0;
    int64_t synced_ = 0;
    std::string target_;
    std::string temp_;
};

// Writes `data` to `path` through COutputFile, without waiting for the disk
// (for small files of the program's own). Returns 0 or an errno value.
int WriteFileAtomically(const std::string& path, const std::string& data);

}  // namespace morvel
