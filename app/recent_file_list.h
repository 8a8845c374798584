// A list of recently used paths kept in one section of the profile: entry 1
// is the most recent, no path appears twice, and the oldest drops out when a
// new path comes in.
#pragma once

#include <string>
#include <vector>

#include "app/profile.h"

namespace morvel {

class CRecentFileList {
public:
    // Paths as long as this, or longer, are not recorded.
    static constexpr size_t kMaxPathLength = 4096;

    // An empty list of `size` entries stored under `section`, entry names
    // made from `entryFormat` ("%d ") with the positions 1 to size.
    // `startNumber` and `displayLength` are kept for the dialog's use.
    CRecentFileList(CProfile& profile, int startNumber, std::string section, std::string entryFormat,
                    int size, int displayLength);

    // Entries from the profile, in one reading of it; a missing entry reads
    // as empty.
    void ReadList() noexcept;
    // Replaces the section with the non-empty entries, under their names. A
    // profile that cannot be written (or read) is left alone, unreported.
    void WriteList() noexcept;

    // Puts `path`, made absolute, at the top. A path already in the list
    // moves there. Returns false, leaving the list as it was, when the path
    // is empty, too long, holds a line break or a zero byte, or cannot be
    // made absolute (also for want of memory).
    bool Add(const std::string& path) noexcept;

    int GetSize() const { return static_cast<int>(entries_.size()); }
    const std::string& operator[](int index) const { return entries_[static_cast<size_t>(index)]; }
    const std::string& Section() const { return section_; }
    int DisplayLength() const { return displayLength_; }
    int StartNumber() const { return startNumber_; }

private:
    std::string EntryName(int position) const;

    CProfile& profile_;
    int startNumber_;
    std::string section_;
    std::string entryFormat_;
    int displayLength_;
    std::vector<std::string> entries_;
};

// The absolute form of `path`, made lexically: the current directory put in
// front of a relative path, "." and ".." resolved, repeated "/" merged, no
// symbolic link followed. "" when the current directory cannot be had.
std::string AbsolutePath(const std::string& path);

}  // namespace morvel
