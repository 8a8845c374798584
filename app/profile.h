// The profile: an initialisation file of [sections] holding "key=value"
// lines, where the recent-file lists live between runs.
//
// Reading is lenient and bounded: at most kMaxProfileBytes of the file are
// read, lines longer than kMaxLineBytes are skipped, lines after
// the first kMaxLines are not read, and anything that is not
// a section header or an entry reads as nothing. Writing reads the file
// again, replaces one section and writes the whole file atomically, keeping
// every other section, entry and comment as it was.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace morvel {

class CProfile {
public:
    static constexpr size_t kMaxProfileBytes = 4 * 1024 * 1024;
    static constexpr size_t kMaxLineBytes = 64 * 1024;
    static constexpr size_t kMaxLines = 65536;

    // An empty path gives a profile that reads as empty and writes nothing.
    explicit CProfile(std::string path) : path_(std::move(path)) {}

    // $XDG_CONFIG_HOME/morvel/morvel.ini, else ~/.config/morvel/morvel.ini;
    // empty when neither can be found.
    static std::string DefaultPath();

    const std::string& Path() const { return path_; }

    // Loads the file (again). A missing or unreadable file is an empty one.
    void Load();

    // The value of `key` in `section` (the first one, when there are
    // several; a section given twice reads as one), or "" when there is none. Names compare exactly, after
    // blanks around the key are trimmed.
    std::string GetString(const std::string& section, const std::string& key) const;

    // Reloads the file, replaces `section` by one holding `entries` (in that
    // order; keys are written as given; a new section goes to the end, or
    // to the front when the file was too big to be read whole, so that it is
    // read back) and writes the file atomically,
    // creating its directory first. Returns false when it could not be
    // written; the old file is then as it was.
    bool WriteSection(const std::string& section,
                      const std::vector<std::pair<std::string, std::string>>& entries);

private:
    struct Line {
        std::string text;     // the line as it was read (or will be written)
        std::string section;  // the section it belongs to ("" before any)
        bool isHeader = false;
        bool isEntry = false;
        std::string key;      // trimmed, for entries
        std::string value;    // up to the end of the line, for entries
    };

    void Parse(const std::string& content);
    std::string Serialize() const;

    std::string path_;
    std::vector<Line> lines_;
    bool truncated_ = false;  // the last Load stopped at a limit
};

}  // namespace morvel
