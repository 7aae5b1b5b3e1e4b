#include "TK/tk_excep.hpp"
#include "TK/tk_tmpf.hpp"
#include "path_env.hpp"
#include "test_dir.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <thread>

namespace fs = std::filesystem;

// A pipe gives its bytes once: the copy holds them all, may be read again,
// is the user's alone and has no name in the temporary folder, so nothing of
// it outlives its owner however the process ends.
TEST(TkTempCopy, APipeIsReadOnceIntoAPrivateFileWithoutAName)
{
    test_dir dir;
    fs::create_directory(dir.path() / "tmp");
    const scoped_env tmp("TMPDIR", dir.file("tmp"));
    const std::string fifo = dir.file("feed");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string content;
    for (int i = 0; i < 100000; ++i)
        content += std::to_string(i) + ",row\n";  // more than one read's worth
    std::thread writer([&] { test_dir::write(fifo, content); });
    fs::path copy;
    {
        const tk_temp_copy taken(fs::path(fifo).wstring(), 1000);
        writer.join();
        copy = taken.path();
        EXPECT_NE(copy.parent_path(), dir.path());
        EXPECT_EQ(test_dir::read(copy.string()), content);
        EXPECT_EQ(test_dir::read(copy.string()), content);
        EXPECT_EQ(fs::status(copy).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
        EXPECT_TRUE(fs::is_empty(dir.path() / "tmp"));
    }
    EXPECT_FALSE(fs::exists(copy));
}

// A copy that cannot be written is the temporary folder's failure, not the
// source's; an empty TMPDIR is no folder and means /tmp.
TEST(TkTempCopy, ACopyThatCannotBeWrittenNamesTheTemporaryFolder)
{
    test_dir dir;
    test_dir::write(dir.file("data"), "a\n");
    {
        const scoped_env tmp("TMPDIR", dir.file("missing"));
        try {
            const tk_temp_copy taken(fs::path(dir.file("data")).wstring(), 1000);
            FAIL() << "copied into a missing folder";
        } catch (const tk_exception& e) {
            EXPECT_EQ(e.get_level(), 1);
            EXPECT_EQ(std::string(e.what()), "Cannot copy the source '" + dir.file("data") +
                                                 "' into the temporary folder '" + dir.file("missing") +
                                                 "' (TMPDIR): No such file or directory\r\n");
        }
    }
    const scoped_env empty("TMPDIR", "");
    const tk_temp_copy taken(fs::path(dir.file("data")).wstring(), 1000);
    EXPECT_EQ(test_dir::read(fs::path(taken.path()).string()), "a\n");
}

TEST(TkTempCopy, ASourceThatCannotBeReadIsALevelOneFailureNamingIt)
{
    test_dir dir;
    try {
        const tk_temp_copy taken(fs::path(dir.file("missing")).wstring(), 1000);
        FAIL() << "copied a missing file";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 1);
        EXPECT_EQ(std::string(e.what()), "Cannot read the source '" + dir.file("missing") + "': No such file or directory\r\n");
    }
}

// A source without end or line ends (a device of zeros) cannot fill the disk:
// the copy ends one byte past the longest line allowed, which the reader of
// the copy then refuses; a source whose lines end is copied whole.
TEST(TkTempCopy, ALineLongerThanAllowedEndsTheCopy)
{
    if (!fs::exists("/dev/zero"))
        GTEST_SKIP() << "no /dev/zero here";
    const tk_temp_copy zeros(L"/dev/zero", 3000000);
    EXPECT_EQ(fs::file_size(zeros.path()), 3000001u);

    test_dir dir;
    const std::string lines = "a\r\n" + std::string(2500, 'b') + "\n" + std::string(3000, 'c');
    test_dir::write(dir.file("lines.csv"), lines);
    const tk_temp_copy kept(fs::path(dir.file("lines.csv")).wstring(), 3000);
    EXPECT_EQ(test_dir::read(fs::path(kept.path()).string()), lines);
}
