// The recent-file lists over a real profile file: moving to the top, the
// section written whole, other contents kept, and hostile files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

#include "app/profile.h"
#include "app/recent_file_list.h"

namespace morvel {
namespace {

class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/morvel-profile-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        path_ = dir_ + "/sub/morvel.ini";
    }
    void TearDown() override {
        const std::string cmd = "rm -rf '" + dir_ + "'";
        (void)std::system(cmd.c_str());
    }
    std::string Contents() const {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    void Put(const std::string& text) {
        (void)std::system(("mkdir -p '" + dir_ + "/sub'").c_str());
        std::ofstream(path_, std::ios::binary) << text;
    }
    std::string dir_, path_;
};

TEST_F(ProfileTest, AddMovesToTopAndWritesSectionWhole) {
    CProfile profile(path_);
    profile.Load();
    CRecentFileList list(profile, 0, "MRU Open", "%d ", 4, 30);
    list.ReadList();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(list[i], "");

    const struct {
        std::string add;
        std::vector<std::string> after;
    } steps[] = {
        {"/a.txt", {"/a.txt", "", "", ""}},
        {"/b.txt", {"/b.txt", "/a.txt", "", ""}},
        {"/a.txt", {"/a.txt", "/b.txt", "", ""}},
        {"/A.txt", {"/A.txt", "/a.txt", "/b.txt", ""}},  // case matters
        {"/c", {"/c", "/A.txt", "/a.txt", "/b.txt"}},
        {"/d", {"/d", "/c", "/A.txt", "/a.txt"}},        // /b.txt drops out
        {"/a.txt", {"/a.txt", "/d", "/c", "/A.txt"}},    // a match in the last place
        {"/x/./y/../z//w", {"/x/z/w", "/a.txt", "/d", "/c"}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.add);
        ASSERT_TRUE(list.Add(step.add));
        list.WriteList();
        for (int i = 0; i < 4; ++i) EXPECT_EQ(list[i], step.after[static_cast<size_t>(i)]);
        CProfile again(path_);
        again.Load();
        CRecentFileList reread(again, 0, "MRU Open", "%d ", 4, 30);
        reread.ReadList();
        for (int i = 0; i < 4; ++i) EXPECT_EQ(reread[i], step.after[static_cast<size_t>(i)]);
    }
    EXPECT_EQ(Contents(), "[MRU Open]\n1 =/x/z/w\n2 =/a.txt\n3 =/d\n4 =/c\n\n");
}

TEST_F(ProfileTest, RejectedPathsLeaveTheListAlone) {
    CProfile profile(path_);
    CRecentFileList list(profile, 0, "MRU Save", "%d ", 4, 30);
    ASSERT_TRUE(list.Add("/keep"));
    for (const std::string& bad : {std::string(""), std::string("/a\nb"), std::string("/a\rb"),
                                   std::string(4096, 'x'), "/" + std::string(4095, 'y')}) {
        EXPECT_FALSE(list.Add(bad));
        EXPECT_EQ(list[0], "/keep");
        EXPECT_EQ(list[1], "");
    }
    // A relative path gets the current directory.
    char cwd[4097];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_TRUE(list.Add("./rel/../file.txt"));
    EXPECT_EQ(list[0], AbsolutePath(std::string(cwd) + "/file.txt"));
}

TEST_F(ProfileTest, OtherContentsAreKept) {
    Put("; comment\r\n[Other]\r\nkey=value\r\n[MRU Save]\r\n1 =/old\r\n9 =stale\r\n[MRU Open]\n  2   =/two\n"
        "1 =/first\n1 =/second\n[Tail]\nx=y\n[MRU Save]\n3 =/dup\n");
    CProfile profile(path_);
    profile.Load();
    CRecentFileList open(profile, 0, "MRU Open", "%d ", 4, 30);
    CRecentFileList save(profile, 0, "MRU Save", "%d ", 4, 30);
    open.ReadList();
    save.ReadList();
    EXPECT_EQ(open[0], "/first");  // the first of two entries counts
    EXPECT_EQ(open[1], "/two");
    EXPECT_EQ(save[0], "/old");
    EXPECT_EQ(save[2], "/dup");  // a section given twice reads as one
    save.Add("/new");
    save.WriteList();
    EXPECT_EQ(Contents(),
              "; comment\n[Other]\nkey=value\n[MRU Save]\n1 =/new\n2 =/old\n4 =/dup\n\n[MRU Open]\n  2   =/two\n"
              "1 =/first\n1 =/second\n[Tail]\nx=y\n");
}

TEST_F(ProfileTest, HostileFilesReadWhatTheyCan) {
    std::string binary;
    for (int i = 0; i < 256; ++i) binary += static_cast<char>(i);
    std::string many = "[MRU Open]\n";
    for (int i = 0; i < 20000; ++i) many += std::to_string(i) + " =/p" + std::to_string(i) + "\n";
    const struct {
        std::string name, content, first;
    } cases[] = {
        {"binary", binary + "\n[MRU Open]\n1 =/ok\n" + binary, "/ok"},
        {"huge line", "[MRU Open]\n1 =/" + std::string(1 << 20, 'a') + "\n2 =/b\n", ""},
        {"many entries", many, "/p1"},
        {"no newline at end", "[MRU Open]\n1 =/end", "/end"},
        {"past the read limit", std::string(CProfile::kMaxProfileBytes, '\n') + "[MRU Open]\n1 =/late\n", ""},
        {"newlines only", std::string(3 << 20, '\n'), ""},
        {"no equals", "[MRU Open]\n1 /x\n[\n]\n=\n", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Put(c.content);
        CProfile profile(path_);
        profile.Load();
        CRecentFileList list(profile, 0, "MRU Open", "%d ", 4, 30);
        list.ReadList();
        EXPECT_EQ(list[0], c.first);
        ASSERT_TRUE(list.Add("/fresh"));
        list.WriteList();
        CProfile again(path_);
        again.Load();
        EXPECT_EQ(again.GetString("MRU Open", "1"), "/fresh");
        EXPECT_LE(Contents().size(), CProfile::kMaxProfileBytes + 64);
    }
}

TEST_F(ProfileTest, MissingOrUnwritableProfile) {
    CProfile none("");
    CRecentFileList list(none, 0, "MRU Open", "%d ", 4, 30);
    list.ReadList();
    EXPECT_EQ(list[0], "");
    EXPECT_TRUE(list.Add("/a"));
    list.WriteList();  // nothing to write to; no failure shown

    CProfile directory(dir_);  // a directory in place of the file
    EXPECT_FALSE(directory.WriteSection("MRU Open", {{"1 ", "/a"}}));
}

}  // namespace
}  // namespace morvel
