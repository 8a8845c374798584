#include "app/profile.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/file_io.h"

namespace morvel {

namespace {

std::string_view Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

// A descriptor closed when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// How the profile's path opened.
enum class Opened { kRegular, kMissing, kUnusable };

// Opens `path` for reading without blocking (a FIFO or a device would
// otherwise wait, or be read for ever) and keeps it only when it is a
// regular file.
Opened OpenProfile(const std::string& path, int& fd) {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return errno == ENOENT ? Opened::kMissing : Opened::kUnusable;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        fd = -1;
        return Opened::kUnusable;
    }
    return Opened::kRegular;
}

// A piece of the file as LineReader hands it out: either one whole line, with
// its '\n' when it has one, or a piece of a line longer than kMaxLineBytes,
// which comes in as many pieces as the buffer takes.
struct Piece {
    std::string_view bytes;
    bool whole = false;
};

// Reads a file line by line through a buffer of fixed size.
class LineReader {
public:
    static constexpr size_t kBufferBytes = 2 * CProfile::kMaxLineBytes;

    explicit LineReader(int fd) : fd_(fd), buf_(std::make_unique_for_overwrite<char[]>(kBufferBytes)) {}

    // The next piece; false at the end of the file or after a failed read.
    bool Next(Piece& piece) {
        for (;;) {
            const char* begin = buf_.get() + begin_;
            const size_t avail = end_ - begin_;
            const void* nl = std::memchr(begin, '\n', avail);
            const size_t lineBytes = nl != nullptr ? static_cast<const char*>(nl) - begin + 1 : 0;
            if (inLongLine_ || (nl == nullptr && avail >= CProfile::kMaxLineBytes) ||
                lineBytes > CProfile::kMaxLineBytes) {
                // Part of a long line: handed on as it comes, never held.
                const size_t n = nl != nullptr ? lineBytes : avail;
                if (n > 0) {
                    inLongLine_ = nl == nullptr;
                    return Take(piece, n, false);
                }
            } else if (nl != nullptr) {
                return Take(piece, lineBytes, true);
            } else if (atEnd_ && avail > 0) {
                return Take(piece, avail, true);  // the last line, without a line end
            }
            if (atEnd_ || failed_) return false;
            Fill();
        }
    }

    bool Failed() const { return failed_; }

private:
    bool Take(Piece& piece, size_t n, bool whole) {
        piece.bytes = std::string_view(buf_.get() + begin_, n);
        piece.whole = whole;
        begin_ += n;
        return true;
    }

    // Moves what is left to the front and reads more after it. Whatever is
    // left is shorter than kMaxLineBytes, so there is always room.
    void Fill() {
        if (begin_ > 0) {
            std::memmove(buf_.get(), buf_.get() + begin_, end_ - begin_);
            end_ -= begin_;
            begin_ = 0;
        }
        for (;;) {
            const ssize_t n = ::read(fd_, buf_.get() + end_, kBufferBytes - end_);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) failed_ = true;
            if (n == 0) atEnd_ = true;
            if (n > 0) end_ += static_cast<size_t>(n);
            return;
        }
    }

    int fd_;
    std::unique_ptr<char[]> buf_;
    size_t begin_ = 0, end_ = 0;
    bool inLongLine_ = false;
    bool atEnd_ = false;
    bool failed_ = false;
};

// What a whole line is: a section header, an entry or nothing.
struct LineKind {
    bool header = false;
    bool entry = false;
    std::string_view name;   // of the header's section
    std::string_view key;    // trimmed, of an entry
    std::string_view value;  // to the end of the line, of an entry
};

LineKind Classify(std::string_view line) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    LineKind kind;
    const std::string_view trimmed = Trim(line);
    if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']') {
        kind.header = true;
        kind.name = trimmed.substr(1, trimmed.size() - 2);
    } else if (const size_t eq = line.find('='); eq != std::string_view::npos && trimmed.front() != ';') {
        kind.entry = true;
        kind.key = Trim(line.substr(0, eq));
        kind.value = line.substr(eq + 1);
    }
    return kind;
}

std::string_view LineEnd(std::string_view line) {
    if (line.size() >= 2 && line.substr(line.size() - 2) == "\r\n") return "\r\n";
    if (!line.empty() && line.back() == '\n') return "\n";
    return {};
}

// Follows the file piece by piece and tells where the first section of a
// name lies, and what the file's line ends are like.
class SectionFinder {
public:
    enum Where { kBefore, kHeader, kInside, kAfter };

    explicit SectionFinder(std::string_view section) : section_(section) {}

    Where Feed(const Piece& piece) {
        if (!piece.bytes.empty()) endsInLineEnd_ = piece.bytes.back() == '\n';
        if (!piece.whole) {
            lastLineBlank_ = false;
            return where_;
        }
        if (fileLineEnd_.empty()) fileLineEnd_ = LineEnd(piece.bytes);
        const LineKind kind = Classify(piece.bytes);
        lastLineBlank_ = piece.bytes.size() == LineEnd(piece.bytes).size();
        if (kind.header && where_ == kInside) {
            where_ = kAfter;
        } else if (kind.header && where_ == kBefore && kind.name == section_) {
            where_ = kInside;
            headerLineEnd_ = LineEnd(piece.bytes);
            if (headerLineEnd_.empty()) headerLineEnd_ = FileLineEnd();
            return kHeader;
        }
        return where_;
    }

    bool Found() const { return where_ != kBefore; }
    // The line end of the section's header line (the file's when it has none).
    std::string_view HeaderLineEnd() const { return headerLineEnd_; }
    // The line end of the file's first line; "\n" when no line has ended yet.
    std::string_view FileLineEnd() const { return fileLineEnd_.empty() ? "\n" : fileLineEnd_; }
    bool EndsInLineEnd() const { return endsInLineEnd_; }
    bool LastLineBlank() const { return lastLineBlank_; }

private:
    std::string_view section_;
    Where where_ = kBefore;
    std::string_view headerLineEnd_, fileLineEnd_;
    bool endsInLineEnd_ = true;  // an empty file needs no line end
    bool lastLineBlank_ = true;
};

// The section as WriteSection writes it.
std::string Render(const std::string& section, const std::vector<std::pair<std::string, std::string>>& entries,
                   std::string_view lineEnd) {
    std::string out = "[" + section + "]";
    out += lineEnd;
    for (const auto& [key, value] : entries) {
        out += key;
        out += '=';
        out += value;
        out += lineEnd;
    }
    out += lineEnd;
    return out;
}

// Gathers small writes into blocks for the output file.
class BlockWriter {
public:
    explicit BlockWriter(COutputFile& out) : out_(out) { block_.reserve(kBlockBytes); }

    void Write(std::string_view bytes) {
        if (err_ != 0) return;
        if (block_.size() + bytes.size() > kBlockBytes) Flush();
        if (bytes.size() >= kBlockBytes) {
            Put(bytes);
        } else {
            block_.append(bytes);
        }
    }
    // 0 or an errno value, for everything written so far.
    int Flush() {
        if (err_ == 0 && !block_.empty()) Put(block_);
        block_.clear();
        return err_;
    }

private:
    static constexpr size_t kBlockBytes = 64 * 1024;

    void Put(std::string_view bytes) {
        if (err_ == 0)
            err_ = out_.Write(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int64_t>(bytes.size()));
    }

    COutputFile& out_;
    std::string block_;
    int err_ = 0;
};

// Creates every missing directory of `dir`, owner-only as configuration
// directories are.
void MakeDirectories(const std::string& dir) {
    for (size_t pos = 1; pos <= dir.size(); ++pos) {
        if (pos == dir.size() || dir[pos] == '/') ::mkdir(dir.substr(0, pos).c_str(), 0700);
    }
}

}  // namespace

std::string CProfile::DefaultPath() {
    std::string base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] != '/') {
            const struct passwd* pw = ::getpwuid(::getuid());
            home = pw != nullptr ? pw->pw_dir : nullptr;
        }
        if (home == nullptr || home[0] != '/') return {};
        base = std::string(home) + "/.config";
    }
    return base + "/morvel/morvel.ini";
}

std::string CProfile::GetString(const std::string& section, const std::string& key) const {
    return GetStrings(section, {key}).front();
}

std::vector<std::string> CProfile::GetStrings(const std::string& section,
                                              const std::vector<std::string>& keys) const {
    std::vector<std::string> values(keys.size());
    int raw = -1;
    if (path_.empty() || OpenProfile(path_, raw) != Opened::kRegular) return values;
    const Descriptor fd(raw);
    std::vector<bool> found(keys.size());
    size_t left = keys.size();
    LineReader reader(fd.get());
    Piece piece;
    bool inside = false;
    while (left > 0 && reader.Next(piece)) {
        if (!piece.whole) continue;
        const LineKind kind = Classify(piece.bytes);
        if (kind.header) {
            if (inside) break;  // the first section of the name is the one
            inside = kind.name == section;
        } else if (inside && kind.entry) {
            for (size_t i = 0; i < keys.size(); ++i) {
                if (!found[i] && kind.key == Trim(keys[i])) {
                    values[i] = kind.value;
                    found[i] = true;
                    --left;
                }
            }
        }
    }
    return values;  // what a failed read left unread is empty
}

bool CProfile::WriteSection(const std::string& section,
                            const std::vector<std::pair<std::string, std::string>>& entries) noexcept {
    if (path_.empty()) return false;
    try {
        return Replace(section, entries);
    } catch (...) {
        return false;  // the output file, if any, went with its object
    }
}

bool CProfile::Replace(const std::string& section,
                       const std::vector<std::pair<std::string, std::string>>& entries) {
    int raw = -1;
    const Opened opened = OpenProfile(path_, raw);
    if (opened == Opened::kUnusable) return false;  // never written over
    const Descriptor fd(raw);

    if (opened == Opened::kMissing) {
        const size_t slash = path_.rfind('/');
        if (slash != std::string::npos && slash > 0) MakeDirectories(path_.substr(0, slash));
        const std::string text = Render(section, entries, "\n");
        COutputFile out;
        int err = out.Open(path_);
        if (err == 0) err = out.Write(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int64_t>(text.size()));
        if (err == 0) err = out.Commit();
        return err == 0;
    }

    // First pass: does the section already say this? Stops at the first
    // difference, or at the end of the section.
    {
        SectionFinder finder(section);
        LineReader reader(fd.get());
        Piece piece;
        std::string expected;
        size_t matched = 0;
        bool differs = false;
        while (reader.Next(piece)) {
            const SectionFinder::Where where = finder.Feed(piece);
            if (where == SectionFinder::kBefore) continue;
            if (where == SectionFinder::kAfter) break;
            if (where == SectionFinder::kHeader) expected = Render(section, entries, finder.HeaderLineEnd());
            if (expected.compare(matched, piece.bytes.size(), piece.bytes) != 0) {
                differs = true;
                break;
            }
            matched += piece.bytes.size();
        }
        if (reader.Failed()) return false;
        if (finder.Found() && !differs && matched == expected.size()) return true;
    }

    // Second pass over the same open file (so a file renamed over it in the
    // meantime does not mix in): every byte is copied but the section's.
    if (::lseek(fd.get(), 0, SEEK_SET) != 0) return false;
    COutputFile out;
    if (out.Open(path_) != 0) return false;
    BlockWriter writer(out);
    SectionFinder finder(section);
    LineReader reader(fd.get());
    Piece piece;
    while (reader.Next(piece)) {
        switch (finder.Feed(piece)) {
            case SectionFinder::kHeader: writer.Write(Render(section, entries, finder.HeaderLineEnd())); break;
            case SectionFinder::kInside: break;
            default: writer.Write(piece.bytes); break;
        }
    }
    if (reader.Failed()) return false;  // `out` removes the new file
    if (!finder.Found()) {
        // A new section at the end, after a blank line.
        const std::string_view lineEnd = finder.FileLineEnd();
        if (!finder.EndsInLineEnd()) writer.Write(lineEnd);
        if (!finder.LastLineBlank()) writer.Write(lineEnd);
        writer.Write(Render(section, entries, lineEnd));
    }
    if (writer.Flush() != 0) return false;
    return out.Commit() == 0;
}

}  // namespace morvel
