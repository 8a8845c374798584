#include "app/recent_file_list.h"

#include <cstdio>
#include <string_view>
#include <utility>

#include <unistd.h>

namespace morvel {

std::string AbsolutePath(const std::string& path) {
    std::string full;
    if (path.empty() || path[0] != '/') {
        std::vector<char> buf(CRecentFileList::kMaxPathLength + 1);
        if (::getcwd(buf.data(), buf.size()) == nullptr) return {};
        full = buf.data();
        full += '/';
    }
    full += path;

    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos <= full.size()) {
        size_t end = full.find('/', pos);
        if (end == std::string::npos) end = full.size();
        const std::string part = full.substr(pos, end - pos);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        pos = end + 1;
    }
    std::string out;
    for (const std::string& part : parts) out += "/" + part;
    return out.empty() ? "/" : out;
}

CRecentFileList::CRecentFileList(CProfile& profile, int startNumber, std::string section,
                                 std::string entryFormat, int size, int displayLength)
    : profile_(profile),
      startNumber_(startNumber),
      section_(std::move(section)),
      entryFormat_(std::move(entryFormat)),
      displayLength_(displayLength),
      entries_(static_cast<size_t>(size > 0 ? size : 0)) {}

std::string CRecentFileList::EntryName(int position) const {
    // The entry format holds one %d, and nothing else is substituted.
    std::string name;
    const size_t at = entryFormat_.find("%d");
    if (at == std::string::npos) return entryFormat_;
    name = entryFormat_.substr(0, at) + std::to_string(position) + entryFormat_.substr(at + 2);
    return name;
}

void CRecentFileList::ReadList() noexcept {
    try {
        std::vector<std::string> names;
        for (size_t i = 0; i < entries_.size(); ++i) names.push_back(EntryName(static_cast<int>(i) + 1));
        std::vector<std::string> values = profile_.GetStrings(section_, names);
        for (size_t i = 0; i < entries_.size(); ++i) entries_[i] = std::move(values[i]);
    } catch (...) {
        // Out of memory: the list keeps what it held.
    }
}

void CRecentFileList::WriteList() noexcept {
    try {
        std::vector<std::pair<std::string, std::string>> written;
        for (size_t i = 0; i < entries_.size(); ++i) {
            if (!entries_[i].empty()) written.emplace_back(EntryName(static_cast<int>(i) + 1), entries_[i]);
        }
        profile_.WriteSection(section_, written);  // a failure is not reported
    } catch (...) {
        // Out of memory: the profile stays as it was.
    }
}

bool CRecentFileList::Add(const std::string& path) noexcept {
    if (entries_.empty() || path.empty() || path.size() >= kMaxPathLength) return false;
    if (path.find_first_of(std::string_view("\n\r\0", 3)) != std::string::npos) return false;
    std::string full;
    try {
        full = AbsolutePath(path);
    } catch (...) {
        return false;  // out of memory: the list stays as it was
    }
    if (full.empty() || full.size() >= kMaxPathLength) return false;

    const size_t n = entries_.size();
    size_t i = 0;
    while (i + 1 < n && entries_[i] != full) ++i;
    for (size_t j = i; j > 0; --j) entries_[j] = std::move(entries_[j - 1]);
    entries_[0] = std::move(full);
    return true;
}

}  // namespace morvel
