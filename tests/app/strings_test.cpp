// The string table, the interface language and the filling of placeholders.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/strings.h"

namespace morvel {
namespace {

TEST(Strings, TableIsCompleteInBothLanguages) {
    for (int id = 101; id <= 129; ++id) {
        for (Language lang : {Language::kEnglish, Language::kJapanese}) {
            const char* text = LoadString(id, lang);
            ASSERT_NE(text, nullptr) << id;
            EXPECT_NE(text[0], '\0') << id;
        }
    }
    EXPECT_EQ(LoadString(100, Language::kEnglish), nullptr);
    EXPECT_EQ(LoadString(130, Language::kJapanese), nullptr);
    // Half-width katakana in 101 stay half-width.
    EXPECT_NE(std::string(LoadString(101, Language::kJapanese)).find("\xEF\xBE\x8A\xEF\xBE\x9E"), std::string::npos);
}

TEST(Strings, FormatSubstitutesArgumentsVerbatim) {
    const struct {
        std::string format;
        std::string expected;
    } cases[] = {
        {"File %s not found \n[%d]", "File /tmp/%s%n%d not found \n[2]"},
        {"Bad Handle was found %X", "Bad Handle was found /tmp/%s%n%d"},  // a string stays a string
        {"100%% %s", "100% /tmp/%s%n%d"},
        {"%s %d %s", "/tmp/%s%n%d 2 "},  // a missing argument is left out
        {"tail %", "tail %"},
        {"%q", "%q"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatText(c.format, {"/tmp/%s%n%d", 2}), c.expected) << c.format;
    EXPECT_EQ(FormatText("%X|%d", {uint32_t{0xDEADBEEF}, -5}), "DEADBEEF|-5");
}

TEST(Strings, InterfaceLanguageFromEnvironment) {
    const struct {
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        Language expected;
    } cases[] = {
        {nullptr, nullptr, nullptr, Language::kEnglish},
        {nullptr, nullptr, "ja_JP.UTF-8", Language::kJapanese},
        {"", "", "ja_JP.UTF-8", Language::kJapanese},
        {nullptr, "C", "ja_JP.UTF-8", Language::kEnglish},
        {"ja", "C", "C", Language::kJapanese},
        {"de_DE.UTF-8", nullptr, "ja_JP.UTF-8", Language::kEnglish},
        {nullptr, nullptr, "jA_JP", Language::kEnglish},
    };
    const char* names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    for (const auto& c : cases) {
        const char* values[] = {c.lcAll, c.lcMessages, c.lang};
        for (int i = 0; i < 3; ++i) values[i] ? ::setenv(names[i], values[i], 1) : ::unsetenv(names[i]);
        EXPECT_EQ(InterfaceLanguage(), c.expected) << (c.lang ? c.lang : "-");
    }
}

}  // namespace
}  // namespace morvel
