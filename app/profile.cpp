#include "app/profile.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/file_io.h"

namespace morvel {

namespace {

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

// Reads at most `limit` bytes of the file; "" when it cannot be read.
std::string ReadCapped(const std::string& path, size_t limit) {
    std::string out;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return out;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        char buf[64 * 1024];
        while (out.size() < limit) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            out.append(buf, std::min(static_cast<size_t>(n), limit - out.size()));
        }
    }
    ::close(fd);
    return out;
}

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

void CProfile::Load() {
    lines_.clear();
    truncated_ = false;
    if (!path_.empty()) Parse(ReadCapped(path_, kMaxProfileBytes));
}

void CProfile::Parse(const std::string& content) {
    std::string section;
    size_t pos = 0;
    if (content.size() >= kMaxProfileBytes) truncated_ = true;
    while (pos < content.size()) {
        if (lines_.size() == kMaxLines) {
            truncated_ = true;
            break;
        }
        size_t end = content.find('\n', pos);
        const bool complete = end != std::string::npos;
        if (!complete) end = content.size();
        const size_t length = end - pos;
        if (length > kMaxLineBytes || (!complete && content.size() >= kMaxProfileBytes)) {
            // Too long to be ours, or cut off by the read limit: dropped.
            truncated_ = true;
            pos = end + 1;
            continue;
        }
        Line line;
        line.text = content.substr(pos, length);
        pos = end + 1;
        if (!line.text.empty() && line.text.back() == '\r') line.text.pop_back();
        const std::string trimmed = Trim(line.text);
        if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']') {
            line.isHeader = true;
            section = trimmed.substr(1, trimmed.size() - 2);
        } else if (const size_t eq = line.text.find('='); eq != std::string::npos && trimmed[0] != ';') {
            line.isEntry = true;
            line.key = Trim(line.text.substr(0, eq));
            line.value = line.text.substr(eq + 1);
        }
        line.section = section;
        lines_.push_back(std::move(line));
    }
}

std::string CProfile::GetString(const std::string& section, const std::string& key) const {
    const std::string wanted = Trim(key);
    for (const Line& line : lines_) {
        if (line.isEntry && line.section == section && line.key == wanted) return line.value;
    }
    return {};
}

std::string CProfile::Serialize() const {
    std::string out;
    for (const Line& line : lines_) {
        out += line.text;
        out += '\n';
    }
    return out;
}

bool CProfile::WriteSection(const std::string& section,
                            const std::vector<std::pair<std::string, std::string>>& entries) {
    if (path_.empty()) return false;
    Load();
    const std::string before = Serialize();
    std::vector<Line> kept;
    kept.reserve(lines_.size() + entries.size() + 2);
    size_t insertAt = std::string::npos;
    for (Line& line : lines_) {
        // Every occurrence of the section goes; the first one's place is
        // where the new one comes.
        if (line.section == section && !section.empty()) {
            if (line.isHeader && insertAt == std::string::npos) insertAt = kept.size();
            continue;
        }
        kept.push_back(std::move(line));
    }
    std::vector<Line> fresh;
    Line header;
    header.text = "[" + section + "]";
    header.isHeader = true;
    header.section = section;
    fresh.push_back(header);
    for (const auto& [key, value] : entries) {
        Line line;
        line.text = key + "=" + value;
        line.isEntry = true;
        line.section = section;
        line.key = Trim(key);
        line.value = value;
        fresh.push_back(std::move(line));
    }
    fresh.push_back(Line{});  // a blank line ends every section written
    if (insertAt == std::string::npos && truncated_) {
        insertAt = 0;
    } else if (insertAt == std::string::npos) {
        // A new section goes to the end, after a blank line.
        if (!kept.empty() && !kept.back().text.empty()) kept.push_back(Line{});
        insertAt = kept.size();
    }
    kept.insert(kept.begin() + static_cast<std::ptrdiff_t>(insertAt), fresh.begin(), fresh.end());
    lines_ = std::move(kept);
    if (Serialize() == before) return true;  // the file already says this

    const size_t slash = path_.rfind('/');
    if (slash != std::string::npos && slash > 0) MakeDirectories(path_.substr(0, slash));
    return WriteFileAtomically(path_, Serialize()) == 0;
}

}  // namespace morvel
