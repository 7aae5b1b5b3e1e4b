#include "TK/tk_chdir.hpp"
#include "TK/tk_excep.hpp"
#include "TK/tk_files.hpp"
#include "TK/tk_fname.hpp"
#include "child.hpp"
#include "test_dir.hpp"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

// Runs the test body from inside `folder` and comes back at the end.
class inside {
public:
    explicit inside(const fs::path& folder) : saved(fs::current_path()) { fs::current_path(folder); }
    ~inside() { fs::current_path(saved); }

private:
    fs::path saved;
};

} // namespace

TEST(TkFileName, RelativeNameInTheCurrentFolder)
{
    test_dir dir;
    inside here(dir.path());
    const std::string folder = fs::current_path().string() + "/";
    tk_file_name name("x.log");
    EXPECT_EQ(name.drive, "");
    EXPECT_EQ(name.dir, folder);
    EXPECT_EQ(name.name, "x");
    EXPECT_EQ(name.ext, ".log");
    EXPECT_EQ(name.get_path(), folder);
}

TEST(TkFileName, EmptyNameIsTheProgramsOwnFile)
{
    const fs::path self = tk_get_module_file_name();
    tk_file_name own("");
    EXPECT_EQ(own.get_path(), self.parent_path().string() + "/");
    EXPECT_EQ(own.name, self.stem().string());
    EXPECT_EQ(tk_get_module_dir(), own.get_path());

    tk_file_wname wide(L"");
    EXPECT_EQ(wide.name, L"");
    EXPECT_EQ(wide.dir, fs::path(own.dir).wstring());
    EXPECT_EQ(wide.ext, self.extension().wstring());
    EXPECT_EQ(tk_get_module_file_wname(), self.wstring());
}

TEST(TkFileName, WideNameMakesASiblingPath)
{
    tk_file_wname name(L"/data/caf\u00e9/book.xls");
    EXPECT_EQ(name.dir, L"/data/caf\u00e9/");
    EXPECT_EQ(name.name, L"book");
    name.ext = L".sql";
    EXPECT_EQ(name.make_path(), L"/data/caf\u00e9/book.sql");
}

TEST(TkFileName, LongPathsAreNoInternalError)
{
    const std::string long_path = "/" + std::string(200, 'a') + "/" + std::string(200, 'b') + "/f.rvl";
    tk_file_name name(long_path);
    EXPECT_EQ(name.get_path().size(), 1 + 200 + 1 + 200 + 1u);
    EXPECT_EQ(tk_file_wname(std::wstring(long_path.begin(), long_path.end())).make_path().size(),
              long_path.size());
}

TEST(TkFileName, NullPathsAreInternalErrors)
{
    EXPECT_THROW(tk_file_name(static_cast<const char*>(nullptr)), tk_mail_assertion);
    EXPECT_THROW(tk_file_wname(static_cast<const wchar_t*>(nullptr)), tk_mail_assertion);
}

TEST(TkFileTests, ExistenceModes)
{
    test_dir dir;
    const std::string file = dir.file("f.txt");
    const std::string locked = dir.file("locked.txt");
    test_dir::write(file, "x");
    test_dir::write(locked, "x");
    fs::permissions(locked, fs::perms(0444));
    struct {
        std::string path;
        uint32_t mode;
        bool expected;
    } cases[] = {
        {file, tk_exist_not_folder, true},       {file, tk_exist_writable, true},
        {locked, tk_exist_not_folder, true},     {locked, tk_exist_writable, false},
        {dir.path().string(), tk_exist_not_folder, false},
        {dir.path().string(), tk_exist_writable, false},
        {dir.file("missing"), tk_exist_not_folder, false},
        {dir.file("missing"), tk_exist_writable, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tk_is_file_exist1(c.path, c.mode), c.expected) << c.path << " " << c.mode;
        EXPECT_EQ(tk_is_file_exist2(std::wstring(c.path.begin(), c.path.end()), c.mode), c.expected) << c.path;
    }
}

TEST(TkFileTests, OtherModesCreateOrEmptyTheFile)
{
    test_dir dir;
    const std::string file = dir.file("made.txt");
    EXPECT_TRUE(tk_is_file_exist1(file, 0));
    EXPECT_TRUE(fs::exists(file));
    test_dir::write(file, "content");
    EXPECT_TRUE(tk_is_file_exist2(std::wstring(file.begin(), file.end()), 2));
    EXPECT_EQ(fs::file_size(file), 0u);
    try {
        tk_is_file_exist1(dir.file("missing/made.txt"), 0);
        FAIL() << "no exception";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 1);
        EXPECT_EQ(e.get_code(), 2u);
    }
}

TEST(TkFileTests, PathExistsOnlyForFoldersAndLeavesTheCurrentFolder)
{
    test_dir dir;
    const fs::path before = fs::current_path();
    test_dir::write(dir.file("f.txt"), "x");
    EXPECT_TRUE(tk_is_path_exist(dir.path().string()));
    EXPECT_TRUE(tk_is_path_exist(dir.path().wstring()));
    EXPECT_FALSE(tk_is_path_exist(dir.file("f.txt")));
    EXPECT_FALSE(tk_is_path_exist(dir.file("missing")));
    EXPECT_EQ(fs::current_path(), before);
}

TEST(TkFileTests, FoldersAUserCannotEnterOrWrite)
{
    test_dir dir;
    fs::permissions(dir.path(), fs::perms(0755));
    const std::string closed = dir.file("closed");
    const std::string read_only = dir.file("read_only");
    fs::create_directory(closed);
    fs::create_directory(read_only);
    fs::permissions(closed, fs::perms(0700));
    fs::permissions(read_only, fs::perms(0555));
    const int failed = run_in_child([&] {
        if (!drop_root())
            return 10;
        if (tk_is_path_exist(closed))
            return 1;
        if (!tk_is_path_exist(read_only) || tk_has_write_access(read_only, tk_generic_write))
            return 2;
        if (!tk_has_write_access(read_only, tk_generic_read | tk_generic_execute))
            return 3;
        return 0;
    });
    EXPECT_EQ(failed, 0);
    EXPECT_TRUE(tk_has_write_access(dir.path().wstring(), tk_generic_write));
}

TEST(TkTempChdir, EntersAndComesBack)
{
    test_dir dir;
    const fs::path before = fs::current_path();
    {
        tk_temp_chdir guard(dir.path().string());
        EXPECT_TRUE(guard.has_changed());
        EXPECT_EQ(fs::current_path(), fs::canonical(dir.path()));
    }
    EXPECT_EQ(fs::current_path(), before);
    {
        tk_temp_chdir guard(dir.file("missing"));
        EXPECT_FALSE(guard.has_changed());
        EXPECT_EQ(fs::current_path(), before);
    }
    EXPECT_EQ(fs::current_path(), before);
    {
        tk_temp_chdir guard("");
        EXPECT_EQ(fs::current_path().string() + "/", tk_get_module_dir());
    }
    EXPECT_EQ(fs::current_path(), before);
}

// Two names for one file are found whatever the spelling: through links, "."
// and "..", and for files that do not exist yet by the path they would have.
TEST(TkFileTests, SameFileByIdentityElseByResolvedPath)
{
    test_dir dir;
    test_dir::write(dir.file("data.csv"), "a\n");
    test_dir::write(dir.file("other.csv"), "a\n");
    fs::create_directory(dir.path() / "real");
    fs::create_symlink(dir.path() / "real", dir.path() / "linked");
    fs::create_symlink(dir.path() / "data.csv", dir.path() / "link.csv");
    fs::create_hard_link(dir.path() / "data.csv", dir.path() / "hard.csv");
    const struct {
        std::string a, b;
        bool same;
    } cases[] = {
        {"data.csv", "data.csv", true},
        {"data.csv", "real/../data.csv", true},
        {"data.csv", "link.csv", true},
        {"data.csv", "hard.csv", true},
        {"data.csv", "other.csv", false},  // equal content, two files
        {"new.sql", "./new.sql", true},
        {"linked/new.sql", "real/new.sql", true},
        {"new.sql", "new.log", false},
        {"data.csv", "data.csv.part", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.a + " / " + c.b);
        EXPECT_EQ(tk_is_same_file(dir.file(c.a), dir.file(c.b)), c.same);
        EXPECT_EQ(tk_is_same_file(fs::path(dir.file(c.b)).wstring(), fs::path(dir.file(c.a)).wstring()), c.same);
    }
    // A relative name is taken from the current folder.
    inside here(dir.path());
    EXPECT_TRUE(tk_is_same_file(std::string("data.csv"), dir.file("link.csv")));
    EXPECT_TRUE(tk_is_same_file(std::string("new.sql"), dir.file("new.sql")));
}
