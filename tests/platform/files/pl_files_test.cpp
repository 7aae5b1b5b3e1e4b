#include "platform/files/pl_files.hpp"
#include "platform/syserr/pl_syserr.hpp"
#include "child.hpp"
#include "test_dir.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;

TEST(PlFiles, SplitFullPathMakesAbsoluteAndSplits)
{
    const std::string cwd = fs::current_path().string();
    struct {
        std::string path, dir, name, ext;
    } cases[] = {
        {"/a/b/x.log", "/a/b/", "x", ".log"},
        {"/a/./b/../x.tar.gz", "/a/", "x.tar", ".gz"},
        {"/x", "/", "x", ""},
        {"/a/b/", "/a/b/", "", ""},
        {"rel/x.log", cwd + "/rel/", "x", ".log"},
        {"x.log", cwd + "/", "x", ".log"},
    };
    for (const auto& c : cases) {
        platform::path_parts parts;
        ASSERT_TRUE(platform::split_full_path(c.path, parts)) << c.path;
        EXPECT_EQ(parts.drive, "") << c.path;
        EXPECT_EQ(parts.dir, c.dir) << c.path;
        EXPECT_EQ(parts.name, c.name) << c.path;
        EXPECT_EQ(parts.ext, c.ext) << c.path;
    }
}

TEST(PlFiles, LongPathsSplitAndJoinWhole)
{
    const std::string folder = "/" + std::string(300, 'd') + "/" + std::string(250, 'e') + "/";
    platform::path_parts parts;
    ASSERT_TRUE(platform::split_full_path(folder + std::string(400, 'n') + ".ext", parts));
    EXPECT_EQ(parts.dir, folder);
    EXPECT_EQ(parts.name.size(), 400u);
    EXPECT_EQ(platform::join_path(parts), folder + std::string(400, 'n') + ".ext");
}

TEST(PlFiles, JoinPathSuppliesSeparatorAndDot)
{
    EXPECT_EQ(platform::join_path({"", "/a/b/", "x", ".log"}), "/a/b/x.log");
    EXPECT_EQ(platform::join_path({"", "/a/b", "x", "log"}), "/a/b/x.log");
    EXPECT_EQ(platform::join_path({"", "/a/", "x", ""}), "/a/x");
}

TEST(PlFiles, ReplaceFileWritesWholeContentAndLeavesNoTemporary)
{
    test_dir dir;
    const std::string file = dir.file("p.rvl");
    ASSERT_TRUE(platform::replace_file(file, "first"));
    ASSERT_TRUE(platform::replace_file(file, "second, longer"));
    EXPECT_EQ(test_dir::read(file), "second, longer");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(PlFiles, ReplaceFileModes)
{
    test_dir dir;
    const std::string forced = dir.file("secret");
    ASSERT_TRUE(platform::replace_file(forced, "x", 0600));
    EXPECT_EQ(fs::status(forced).permissions(), fs::perms::owner_read | fs::perms::owner_write);

    const std::string kept = dir.file("kept");
    test_dir::write(kept, "old");
    fs::permissions(kept, fs::perms(0640));
    ASSERT_TRUE(platform::replace_file(kept, "new"));
    EXPECT_EQ(fs::status(kept).permissions(), fs::perms(0640));
}

TEST(PlFiles, ReplaceFileKeepsASymbolicLink)
{
    test_dir dir;
    const std::string real = dir.file("real.rvl");
    const std::string link = dir.file("link.rvl");
    test_dir::write(real, "old");
    fs::create_symlink(real, link);
    ASSERT_TRUE(platform::replace_file(link, "new"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(test_dir::read(real), "new");
}

TEST(PlFiles, ReplaceFileReportsAFullDeviceAndAMissingFolder)
{
    platform::set_last_error(0);
    EXPECT_FALSE(platform::replace_file("/dev/full", "any content"));
    EXPECT_EQ(platform::last_error(), static_cast<uint32_t>(ENOSPC));

    test_dir dir;
    EXPECT_FALSE(platform::replace_file(dir.file("missing/x"), "x"));
    EXPECT_EQ(platform::last_error(), static_cast<uint32_t>(ENOENT));
}

TEST(PlFiles, StatusAndAccessFollowPermissionsForAPlainUser)
{
    test_dir dir;
    fs::permissions(dir.path(), fs::perms(0755));
    const std::string locked = dir.file("locked.txt");
    const std::string open = dir.file("open.txt");
    const std::string closed_dir = dir.file("closed");
    test_dir::write(locked, "x");
    test_dir::write(open, "x");
    fs::permissions(locked, fs::perms(0444));
    fs::permissions(open, fs::perms(0666));
    fs::create_directory(closed_dir);
    fs::permissions(closed_dir, fs::perms(0555));

    // As root, permission bits bind nobody; the checks run as a plain user.
    const int failed = run_in_child([&] {
        if (!drop_root())
            return 10;
        platform::file_status st;
        if (!platform::get_file_status(locked, st) || !st.read_only || st.directory)
            return 1;
        if (!platform::get_file_status(open, st) || st.read_only)
            return 2;
        if (platform::has_access(closed_dir, W_OK) || !platform::has_access(closed_dir, X_OK))
            return 3;
        if (!platform::has_access(dir.path().string(), X_OK))
            return 4;
        return 0;
    });
    EXPECT_EQ(failed, 0);

    // A file without any write bit is read-only for root too, as the
    // platform's read-only attribute binds every user.
    platform::file_status st;
    ASSERT_TRUE(platform::get_file_status(locked, st));
    EXPECT_TRUE(st.read_only);
    EXPECT_FALSE(platform::get_file_status(dir.file("missing"), st));
}
