#include "app/file_io.h"

#include <atomic>
#include <cerrno>
#include <csignal>
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

mode_t NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// ---- Named new files, removed when a signal ends the process -------------
//
// A handful of slots, each a path and a flag; the handler reads them without
// locks, so a slot's path is written before its flag is set and the flag is
// cleared before the path is touched again.
constexpr int kTempSlots = 4;
char gTempPaths[kTempSlots][PATH_MAX + 1];
volatile std::sig_atomic_t gTempArmed[kTempSlots];

void ArmTemp(const std::string& path) {
    if (path.size() > PATH_MAX) return;
    for (int i = 0; i < kTempSlots; ++i) {
        if (gTempArmed[i]) continue;
        std::memcpy(gTempPaths[i], path.c_str(), path.size() + 1);
        std::atomic_signal_fence(std::memory_order_seq_cst);
        gTempArmed[i] = 1;
        return;
    }
}

void DisarmTemp(const std::string& path) {
    for (int i = 0; i < kTempSlots; ++i) {
        if (gTempArmed[i] && path == gTempPaths[i]) {
            gTempArmed[i] = 0;
            std::atomic_signal_fence(std::memory_order_seq_cst);
        }
    }
}

extern "C" void RemoveTempsAndDie(int sig) {
    for (int i = 0; i < kTempSlots; ++i)
        if (gTempArmed[i]) ::unlink(gTempPaths[i]);
    // The handler was installed with SA_RESETHAND: the signal raised again
    // is delivered with its default action once the handler returns.
    ::raise(sig);
}

// A new name for a file in `dir`: ".morvel-" and six random letters.
std::string TempName(const std::string& dir, unsigned attempt) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    uint64_t seed = 0;
    if (::getentropy(&seed, sizeof seed) != 0) seed = static_cast<uint64_t>(::getpid()) * 2654435761u + attempt;
    std::string name = dir + "/.morvel-";
    for (int i = 0; i < 6; ++i) {
        name += kLetters[seed % (sizeof kLetters - 1)];
        seed /= sizeof kLetters - 1;
    }
    return name;
}

}  // namespace

void PrepareFileSignals() {
    std::signal(SIGXFSZ, SIG_IGN);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old;
        if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        struct sigaction sa;
        std::memset(&sa, 0, sizeof sa);
        sa.sa_handler = RemoveTempsAndDie;
        sa.sa_flags = SA_RESETHAND;
        sigemptyset(&sa.sa_mask);
        ::sigaction(sig, &sa, nullptr);
    }
}

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
    inPlace_ = truncate_ = unnamed_ = keepOwner_ = false;
    written_ = synced_ = 0;
    // Follow the path, link by link, to what it finally names.
    std::string at = path;
    for (int hops = 0;; ++hops) {
        if (hops == 40) return ELOOP;
        if (const int named = NamedDescriptor(at); named >= 0) {
            inPlace_ = true;
            fd_ = ::fcntl(named, F_DUPFD_CLOEXEC, 3);
            if (fd_ < 0) return errno;
            struct stat st;
            if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
                CloseFd(fd_);
                return EISDIR;
            }
            return 0;
        }
        struct stat st;
        if (::lstat(at.c_str(), &st) != 0) {
            if (errno != ENOENT) return errno;
            return OpenReplacement(at, false, st);
        }
        if (S_ISLNK(st.st_mode)) {
            std::vector<char> buf(PATH_MAX + 1);
            const ssize_t n = ::readlink(at.c_str(), buf.data(), PATH_MAX);
            if (n < 0) return errno;
            std::string link(buf.data(), static_cast<size_t>(n));
            if (link.empty()) return ENOENT;
            at = link[0] == '/' ? link : DirectoryOf(at) + "/" + link;
            continue;
        }
        if (S_ISDIR(st.st_mode)) return EISDIR;
        if (S_ISREG(st.st_mode)) return OpenReplacement(at, true, st);
        // A pipe, a terminal, a device: written as it is.
        inPlace_ = true;
        fd_ = ::open(at.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        return fd_ < 0 ? errno : 0;
    }
}

int COutputFile::OpenReplacement(const std::string& target, bool exists, const struct stat& old) {
    target_ = target;
    if (exists) {
        // A file the user may not write is not replaced behind their back.
        if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return errno;
        mode_ = old.st_mode & 07777;
        owner_ = old.st_uid;
        group_ = old.st_gid;
        keepOwner_ = true;
    } else {
        mode_ = NewFileMode();
    }
    const std::string dir = DirectoryOf(target);
#ifdef O_TMPFILE
    fd_ = ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd_ >= 0) {
        unnamed_ = true;
        return 0;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return errno;
#endif
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        std::string name = TempName(dir, attempt);
        // Armed only once it is ours: a name that exists may be another's.
        fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd_ >= 0) {
            ArmTemp(name);
            temp_ = std::move(name);
            return 0;
        }
        if (errno != EEXIST) return errno;
    }
    return EEXIST;
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

bool COutputFile::OverwritesInPlace(const FileIdentity& input) const {
    if (!inPlace_ || fd_ < 0) return false;
    struct stat st;
    if (::fstat(fd_, &st) != 0) return false;
    FileIdentity out;
    out.device = st.st_dev;
    out.inode = st.st_ino;
    out.regular = S_ISREG(st.st_mode);
    out.known = true;
    return out.SameRegularFile(input);
}

int COutputFile::Commit(bool durable) {
    if (fd_ < 0) return EBADF;
    int err = 0;
    if (inPlace_) {
        if (truncate_ && !(::fcntl(fd_, F_GETFL) & O_APPEND)) {
            const off_t end = ::lseek(fd_, 0, SEEK_CUR);
            if (end >= 0 && ::ftruncate(fd_, end) != 0) err = errno;
        }
        const int closeErr = CloseFd(fd_);
        return err != 0 ? err : closeErr;
    }
    if (durable && ::fsync(fd_) != 0) err = errno;
    unsigned mode = mode_;
    if (err == 0 && keepOwner_) {
        // Root may give the file back to its owner; anyone may keep a group
        // they belong to. What could not be kept takes the special bits with it.
        struct stat st;
        if (::fstat(fd_, &st) == 0 && (st.st_uid != owner_ || st.st_gid != group_)) {
            if (::fchown(fd_, owner_, group_) != 0) (void)::fchown(fd_, static_cast<uid_t>(-1), group_);
            if (::fstat(fd_, &st) != 0 || st.st_uid != owner_ || st.st_gid != group_)
                mode &= ~static_cast<unsigned>(S_ISUID | S_ISGID);
        }
    }
    if (err == 0 && ::fchmod(fd_, mode) != 0) err = errno;
    if (err == 0 && unnamed_) {
        // Name the unnamed file beside the target, then move it over.
        const std::string dir = DirectoryOf(target_);
        const std::string self = "/proc/self/fd/" + std::to_string(fd_);
        for (unsigned attempt = 0; attempt < 100; ++attempt) {
            std::string name = TempName(dir, attempt);
            int rc = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW);
            if (rc != 0 && errno == ENOENT) rc = ::linkat(fd_, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH);
            if (rc == 0) {
                ArmTemp(name);
                temp_ = std::move(name);
                break;
            }
            const int linkErr = errno;
            if (linkErr != EEXIST) {
                err = linkErr;
                break;
            }
        }
        if (err == 0 && temp_.empty()) err = EEXIST;
    }
    const int closeErr = CloseFd(fd_);
    if (err == 0) err = closeErr;
    if (err == 0 && ::rename(temp_.c_str(), target_.c_str()) != 0) err = errno;
    if (err != 0) {
        Abort();
        return err;
    }
    DisarmTemp(temp_);
    temp_.clear();
    return 0;
}

void COutputFile::Abort() {
    CloseFd(fd_);
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        DisarmTemp(temp_);
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
    identity_ = FileIdentity{};
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
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
    identity_ = {st.st_dev, st.st_ino, S_ISREG(st.st_mode), true};
    if (identity_.regular) ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    return 0;
}

int64_t CInputFile::Read(uint8_t* p, int64_t n) {
    if (fd_ < 0 || atEnd_ || n <= 0) return 0;
    for (;;) {
        const ssize_t got = ::read(fd_, p, static_cast<size_t>(n));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) atEnd_ = true;
        return got;
    }
}

int64_t CInputFile::ReadFull(uint8_t* p, int64_t n) {
    int64_t count = 0;
    while (count < n && !atEnd_) {
        const int64_t got = Read(p + count, n - count);
        if (got < 0) return -1;
        count += got;
    }
    return count;
}

int64_t CInputFile::ReadAt(uint8_t* p, int64_t n, int64_t offset) const {
    int64_t count = 0;
    while (count < n && fd_ >= 0) {
        const ssize_t got = ::pread(fd_, p + count, static_cast<size_t>(n - count), static_cast<off_t>(offset + count));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        count += got;
    }
    return count;
}

}  // namespace morvel
