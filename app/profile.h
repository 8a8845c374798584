// The profile: an initialisation file of [sections] holding "key=value"
// lines, where the recent-file lists live between runs.
//
// The file is never held in memory: reading streams it line by line through
// a buffer of bounded size and keeps only the values asked for, and writing
// streams it from the old file into the new one, so a profile of any size
// costs the same memory. Reading is lenient: a line longer than
// kMaxLineBytes, or anything that is not a section header or an entry,
// reads as nothing. Writing replaces the bytes of one section and copies
// every other byte as it was (line ends, long lines, zero bytes, bytes that
// are no text at all).
//
// Only a regular file is read or written; it is opened without blocking, so
// a pipe, a device or a directory in its place reads as empty and is never
// written over. Neither is a file that is there but cannot be read.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace morvel {

class CProfile {
public:
    // Lines longer than this (with their line end) are not looked into.
    static constexpr size_t kMaxLineBytes = 64 * 1024;

    // An empty path gives a profile that reads as empty and writes nothing.
    explicit CProfile(std::string path) : path_(std::move(path)) {}

    // $XDG_CONFIG_HOME/morvel/morvel.ini, else ~/.config/morvel/morvel.ini;
    // empty when neither can be found.
    static std::string DefaultPath();

    const std::string& Path() const { return path_; }

    // The value of `key` in `section`, or "" when there is none. A section
    // given twice reads as the first; of two entries of one key the first
    // counts. Names compare exactly, after blanks around the key are
    // trimmed; a value runs to the end of its line. A missing or unreadable
    // file reads as empty. May throw std::bad_alloc.
    std::string GetString(const std::string& section, const std::string& key) const;
    // The values of `keys` in `section`, in one reading of the file.
    std::vector<std::string> GetStrings(const std::string& section, const std::vector<std::string>& keys) const;

    // Replaces the first `section` by one holding `entries` (in that order;
    // keys are written as given) and a blank line, with the line ends of its
    // header line; a new section goes to the end, with the line end of the
    // file's first line. Every other byte of the file stays as it was. The
    // file is replaced atomically, and only when this changes it; a missing
    // file is created, with its directory (owner-only). Returns false when it
    // could not be written, or when the file is there but could not be read
    // or is not a regular file: the file is then as it was. Never throws.
    bool WriteSection(const std::string& section,
                      const std::vector<std::pair<std::string, std::string>>& entries) noexcept;

private:
    bool Replace(const std::string& section, const std::vector<std::pair<std::string, std::string>>& entries);

    std::string path_;
};

}  // namespace morvel
