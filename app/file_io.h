// Files of a run: reading an input to its end, and writing an output so that a
// failure never leaves a half-written file behind.
#pragma once

#include <cstdint>
#include <string>

#include <sys/stat.h>
#include <sys/types.h>


namespace morvel {

// The cause code message 109 shows, from an errno value.
int FileErrorCause(int err);

// Makes the process fit for writing files: a write beyond the file-size
// limit fails with EFBIG instead of killing the process (SIGXFSZ ignored),
// and SIGINT, SIGTERM and SIGHUP remove a half-written new file before the
// process dies of them. Signals the process inherited as ignored stay so.
void PrepareFileSignals();

// Which file an open descriptor is on: device and inode, and whether it is a
// regular file.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool regular = false;
    bool known = false;
    bool SameRegularFile(const FileIdentity& other) const {
        return known && other.known && regular && other.regular && device == other.device && inode == other.inode;
    }
};

// An input file, read to its end whatever length the system reports for it
// (files under /proc and /sys report none, or a wrong one).
class CInputFile {
public:
    CInputFile() = default;
    ~CInputFile();
    CInputFile(const CInputFile&) = delete;
    CInputFile& operator=(const CInputFile&) = delete;

    // 0 or an errno value; a directory is EISDIR.
    int Open(const std::string& path);
    // Up to `n` bytes: the count, 0 at the end, -1 when the read failed.
    int64_t Read(uint8_t* p, int64_t n);
    // Reads `n` bytes at `p`, fewer only where the file ends: the count, or
    // -1 when a read failed.
    int64_t ReadFull(uint8_t* p, int64_t n);
    // Reads `n` bytes at `p` from `offset` on, leaving the file's position
    // alone (so that threads may read at once): the count, fewer only where
    // the file ends, or -1 when a read failed.
    int64_t ReadAt(uint8_t* p, int64_t n, int64_t offset) const;
    bool AtEnd() const { return atEnd_; }
    const FileIdentity& Identity() const { return identity_; }

private:
    int fd_ = -1;
    bool atEnd_ = false;
    FileIdentity identity_;
};

// An output file that replaces its target only once it is complete.
//
// What is written in place and what is replaced is decided by what the path
// names, symbolic links followed: a regular file, or a name that does not
// exist yet, is replaced; a descriptor's name (/dev/stdout, /dev/fd/N,
// /proc/self/fd/N, also when a link leads there) writes to that descriptor
// itself, sharing its offset; anything else (a pipe, a terminal, a device)
// is written in place.
//
// A replacement is written to an unnamed file in the target's directory
// (O_TMPFILE; where the file system lacks it, a new ".morvel-XXXXXX" created
// exclusively), readable by its owner only while written. Commit flushes it,
// gives it the old file's owner and group where the process may (dropping
// the set-uid and set-gid bits when they could not be kept) and mode (0666
// less the umask for a new file), and renames it over the target. A target
// the process may not write is refused with EACCES, as opening it would be.
//
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
    // Finishes the file and closes it. `durable`: flush a replacement to
    // disk first (fsync), so that a crash cannot leave an empty file where
    // the old one was.
    int Commit(bool durable = true);
    void Abort();  // removes the new file, if any; closes the file

    // Whether the output is written in place over the regular file `input`
    // (the same file reached through two descriptors): the input must then
    // be read whole before anything is written.
    bool OverwritesInPlace(const FileIdentity& input) const;
    // In place over a regular file: cut the file after what was written when
    // committing, so no byte of a longer old text stays behind (an appending
    // descriptor is never cut).
    void TruncateOnCommit() { truncate_ = true; }

private:
    int OpenReplacement(const std::string& target, bool exists, const struct stat& old);

    int fd_ = -1;
    bool inPlace_ = false;
    bool truncate_ = false;
    bool unnamed_ = false;  // an O_TMPFILE file, named only at Commit
    bool keepOwner_ = false;
    uid_t owner_ = 0;
    gid_t group_ = 0;
    unsigned mode_ = 0;
    int64_t written_ = 0;
    int64_t synced_ = 0;
    std::string target_;
    std::string temp_;  // the named new file, while it exists
};

// Writes `data` to `path` through COutputFile, without waiting for the disk
// (for small files of the program's own). Returns 0 or an errno value.
int WriteFileAtomically(const std::string& path, const std::string& data);

}  // namespace morvel
