#include "app/file_io.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvel {

namespace {

// Closes fd, keeping the first error.
int CloseFd(int& fd) {
    int err = 0;
    if (fd >= 0 && ::close(fd) != 0 && errno != EINTR) err = errno;
    fd = -1;
    return err;
}

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Follows symbolic links in the last component of `path` until it names
// something that is not a link (or nothing). 0 or an errno value.
int FollowLinks(std::string& path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return 0;
        std::vector<char> buf(PATH_MAX + 1);
        const ssize_t n = ::readlink(path.c_str(), buf.data(), PATH_MAX);
        if (n < 0) return errno;
        std::string target(buf.data(), static_cast<size_t>(n));
        if (target.empty()) return ENOENT;
        if (target[0] != '/') target = DirectoryOf(path) + "/" + target;
        path = target;
    }
    return ELOOP;
}

// The descriptor that /dev/stdout, /dev/stderr, /dev/fd/N and
// /proc/self/fd/N name, or -1. Writing through a copy of it shares the
// caller's file offset, so output to a redirected standard output lands
// where the shell expects it.
int NamedDescriptor(const std::string& path) {
    if (path == "/dev/stdout") return 1;
    if (path == "/dev/stderr") return 2;
    for (const char* prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        const size_t n = std::strlen(prefix);
        if (path.size() > n && path.size() <= n + 9 && path.compare(0, n, prefix) == 0 &&
            path.find_first_not_of("0123456789", n) == std::string::npos)
            return std::atoi(path.c_str() + n);
    }
    return -1;
}

bool IsKernelPath(const std::string& path) {
    return path.rfind("/dev/", 0) == 0 || path.rfind("/proc/", 0) == 0;
}

mode_t NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

int FileErrorCause(int err) {
    switch (err) {
        case ENOENT: return 2;
        case ENOTDIR: case ENAMETOOLONG: case ELOOP: case EINVAL: return 3;
        case EMFILE: case ENFILE: return 4;
        case EACCES: case EPERM: case EISDIR: case EROFS: return 5;
        case ETXTBSY: case EBUSY: return 11;
        case ENOSPC: case EDQUOT: return 13;
        case EIO: return 10;
        default: return 1;
    }
}

COutputFile::~COutputFile() { Abort(); }

int COutputFile::Open(const std::string& path) {
    Abort();
    target_ = path;
    inPlace_ = false;
    written_ = synced_ = 0;
    struct stat st;
    if (const int named = NamedDescriptor(path); named >= 0) {
        inPlace_ = true;
        fd_ = ::fcntl(named, F_DUPFD_CLOEXEC, 3);
        return fd_ < 0 ? errno : 0;
    }
    if (IsKernelPath(path)) {
        inPlace_ = true;
    } else {
        if (const int err = FollowLinks(target_)) return err;
        if (::stat(target_.c_str(), &st) == 0) {
            if (S_ISDIR(st.st_mode)) return EISDIR;
            if (!S_ISREG(st.st_mode)) inPlace_ = true;
            mode_ = st.st_mode & 07777;
        } else if (errno == ENOENT) {
            mode_ = NewFileMode();
        } else {
            return errno;
        }
    }
    if (inPlace_) {
        if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return EISDIR;
        // A regular file behind /dev/stdout and the like is the shell's
        // redirection: append, so that ">>" keeps what the file held.
        const bool regular = ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
        fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | (regular ? O_APPEND : 0));
        return fd_ < 0 ? errno : 0;
    }
    std::string pattern = DirectoryOf(target_) + "/.morvel-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);  // O_EXCL, mode 0600
    if (fd_ < 0) return errno;
    temp_ = name.data();
    return 0;
}

int COutputFile::Write(const uint8_t* data, int64_t count) {
    if (fd_ < 0) return EBADF;
    while (count > 0) {
        const ssize_t n = ::write(fd_, data, static_cast<size_t>(count));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return EIO;
        data += n;
        count -= n;
        written_ += n;
    }
    // Start writing a new file's pages to disk as they come, so that the
    // flush before the rename waits only for the last of them.
    constexpr int64_t kWriteBehind = 8 << 20;
    if (!inPlace_ && written_ - synced_ >= kWriteBehind) {
        ::sync_file_range(fd_, synced_, written_ - synced_, SYNC_FILE_RANGE_WRITE);
        synced_ = written_;
    }
    return 0;
}

int COutputFile::Commit(bool durable) {
    if (fd_ < 0) return EBADF;
    int err = 0;
    if (inPlace_) {
        err = CloseFd(fd_);
        return err;
    }
    if (durable && ::fsync(fd_) != 0) err = errno;
    if (err == 0 && ::fchmod(fd_, mode_) != 0) err = errno;
    const int closeErr = CloseFd(fd_);
    if (err == 0) err = closeErr;
    if (err == 0 && ::rename(temp_.c_str(), target_.c_str()) != 0) err = errno;
    if (err != 0) {
        Abort();
        return err;
    }
    temp_.clear();
    return 0;
}

void COutputFile::Abort() {
    CloseFd(fd_);
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
}

int WriteFileAtomically(const std::string& path, const std::string& data) {
    COutputFile file;
    int err = file.Open(path);
    if (err == 0) err = file.Write(reinterpret_cast<const uint8_t*>(data.data()), static_cast<int64_t>(data.size()));
    if (err == 0) err = file.Commit(false);
    if (err != 0) file.Abort();
    return err;
}

CInputFile::~CInputFile() { CloseFd(fd_); }

int CInputFile::Open(const std::string& path) {
    CloseFd(fd_);
    atEnd_ = false;
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return errno;
    struct stat st;
    if (::fstat(fd_, &st) != 0) {
        const int err = errno;
        CloseFd(fd_);
        return err;
    }
    if (S_ISDIR(st.st_mode)) {
        CloseFd(fd_);
        return EISDIR;
    }
    regular_ = S_ISREG(st.st_mode);
    left_ = st.st_size;
    if (regular_) ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    return 0;
}

int64_t CInputFile::Read(uint8_t* p, int64_t n) {
    if (fd_ < 0 || atEnd_) return 0;
    if (regular_ && n > left_) n = left_;
    if (n == 0) {
        atEnd_ = true;
        return 0;
    }
    for (;;) {
        const ssize_t got = ::read(fd_, p, static_cast<size_t>(n));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) {
            atEnd_ = true;
            return regular_ && left_ > 0 ? -1 : 0;  // a regular file that shrank
        }
        if (regular_) left_ -= got;
        return got;
    }
}

bool CInputFile::ReadUpTo(CByteStream& stream, int64_t limit) {
    while (stream.Size() < limit && !atEnd_) {
        const int64_t want = limit - stream.Size();
        const int64_t got = Read(stream.Reserve(want), want);
        if (got < 0) return false;
        stream.Commit(got);
    }
    return true;
}

}  // namespace morvel
