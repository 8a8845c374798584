// Files of a run: reading an input whole, and writing an output so that a
// failure never leaves a half-written file behind.
#pragma once

#include <cstdint>
#include <string>

#include "engine/byte_stream.h"

namespace morvel {

// The cause code message 109 shows, from an errno value.
int FileErrorCause(int err);

enum class ReadStatus { kOk, kOpenFailed, kNoMemory, kReadFailed };

struct ReadOutcome {
    ReadStatus status = ReadStatus::kOk;
    int err = 0;  // errno of the failed open
};

// Replaces `stream` with the whole file. A regular file is read to the
// length it has when opened (fewer bytes is kReadFailed); anything else that
// is not a directory (a pipe, a terminal) is read to its end. A directory is
// kOpenFailed with EISDIR. Does not append a terminator.
ReadOutcome ReadWholeFile(const std::string& path, CByteStream& stream);

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
    int Commit();  // flush, set the mode, rename; closes the file
    void Abort();  // removes the new file, if any; closes the file

private:
    int fd_ = -1;
    bool inPlace_ = false;
    unsigned mode_ = 0;
    std::string target_;
    std::string temp_;
};

// Writes `data` to `path` through COutputFile. Returns 0 or an errno value.
int WriteFileAtomically(const std::string& path, const std::string& data);

}  // namespace morvel
