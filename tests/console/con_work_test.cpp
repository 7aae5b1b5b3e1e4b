// The files a run makes for itself, on the real program: the private copy of
// a source that can be read only once, and the dump's work file when the run
// cannot finish it. Also a CSV file that another program cuts short while the
// run reads it.
#include "con_help.hpp"
#include "con_proc.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <regex>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string people = "id,name\n1,ann\n2,bob\n";

// The command line of a CSV run into a dump, as /bin/sh reads it.
std::string csv_command(const std::string& options)
{
    return "'" + std::string(MORVANTE_PATH) + "' --from_csv --csv_delim=2 --extr_fn --tab_name=t --dump " + options;
}

std::vector<std::string> names_in(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const fs::directory_entry& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    return names;
}

// The dump's statements without its comments, which name the file and date.
std::string statements(const std::string& dump)
{
    return std::regex_replace(dump, std::regex("(^|\n)#[^\n]*"), "$1");
}

} // namespace

// A workbook given through a pipe converts as the same workbook given as a
// file: the worksheet listing reads the copy too.
TEST(ConsoleWorkFiles, AWorkbookThroughAPipeConvertsAsFromItsFile)
{
    for (const std::string book : {"openpyxl.xlsx", "xlwt.xls"}) {
        SCOPED_TRACE(book);
        test_dir dir;
        const std::string path = std::string(RVL_WORKBOOKS) + "/" + book;
        const std::string run = "'" + std::string(MORVANTE_PATH) + "' --dump ";
        const program_result piped =
            run_program("/bin/sh", dir, {"-c", "cat '" + path + "' | " + run + "--src=/dev/stdin --dest=piped.sql"});
        ASSERT_EQ(piped.code, 0) << piped.out << piped.err;
        const program_result named = run_program("/bin/sh", dir, {"-c", run + "--src='" + path + "' --dest=named.sql"});
        ASSERT_EQ(named.code, 0) << named.out << named.err;
        const std::string dump = statements(test_dir::read(dir.file("piped.sql")));
        EXPECT_NE(dump.find("INSERT INTO"), std::string::npos) << dump;
        EXPECT_EQ(dump, statements(test_dir::read(dir.file("named.sql"))));
    }
    // What is wrong with it is said of the source as given, not of its copy.
    test_dir dir;
    const program_result text = run_program(
        "/bin/sh", dir,
        {"-c", "printf 'no workbook' | '" + std::string(MORVANTE_PATH) + "' --dump --src=/dev/stdin --dest=t.sql"});
    EXPECT_EQ(text.code, 255);
    EXPECT_NE(text.out.find("('/dev/stdin': neither a zip package nor a compound file)"), std::string::npos)
        << text.out;
}

// The copy of a pipe goes into TMPDIR, /tmp when TMPDIR is empty; a copy that
// cannot be made is blamed on the folder, not on the source.
TEST(ConsoleWorkFiles, TheCopyOfAPipeGoesToTheTemporaryFolderNamedWhenItFails)
{
    test_dir dir;
    test_dir::write(dir.file("people.csv"), people);
    const program_result empty = run_program(
        "/bin/sh", dir,
        {"-c", "TMPDIR= ; export TMPDIR; cat people.csv | " + csv_command("--src=/dev/stdin --dest=a.sql")});
    EXPECT_EQ(empty.code, 0) << empty.out << empty.err;
    EXPECT_NE(test_dir::read(dir.file("a.sql")).find("(2, 'bob');"), std::string::npos);

    const std::string missing = dir.file("missing");
    const program_result failed = run_program(
        "/bin/sh", dir, {"-c", "cat people.csv | " + csv_command("--src=/dev/stdin --dest=b.sql")},
        {{"TMPDIR", missing}});
    EXPECT_EQ(failed.code, 255);
    EXPECT_NE(failed.out.find("Error:\nCannot copy the source '/dev/stdin' into the temporary folder '" + missing +
                              "' (TMPDIR): No such file or directory"),
              std::string::npos)
        << failed.out;
    EXPECT_FALSE(fs::exists(dir.file("b.sql")));
}

// The copy has no name in the temporary folder while the run reads it, so
// a run killed outright leaves nothing there.
TEST(ConsoleWorkFiles, AKilledRunLeavesNoCopyOfItsPipe)
{
    test_dir dir;
    fs::create_directory(dir.path() / "tmp");
    ASSERT_EQ(::mkfifo(dir.file("feed").c_str(), 0600), 0);
    const int feed = ::open(dir.file("feed").c_str(), O_RDWR);  // a writer that keeps the pipe open
    ASSERT_GE(feed, 0);
    ASSERT_EQ(::write(feed, people.data(), people.size()), static_cast<ssize_t>(people.size()));
    {
        morvante_process run(dir, {"--from_csv", "--csv_delim=2", "--extr_fn", "--tab_name=t", "--dump", "--src=feed",
                                   "--dest=out.sql"},
                             {{"TMPDIR", dir.file("tmp")}});
        ASSERT_TRUE(eventually(
            [&] {
                int unread = -1;
                ::ioctl(feed, FIONREAD, &unread);
                return unread == 0;
            },
            30s));
        run.signal(SIGKILL);
        ASSERT_TRUE(run.wait(10s).has_value());
    }
    ::close(feed);
    EXPECT_EQ(names_in(dir.path() / "tmp"), std::vector<std::string>{});
}

// A dump that meets the file size limit (ulimit -f) is not killed by
// SIGXFSZ: the run reports the failure, and the work file it keeps is named
// and cut back to whole statements, or removed when no row reached it.
TEST(ConsoleWorkFiles, AFileSizeLimitKeepsWholeStatementsOrNothing)
{
    test_dir dir;
    write_long_csv(dir.file("big.csv"), 100000);
    // In blocks of 512 bytes: 1 MiB, then less than the dump's first lines.
    const program_result some =
        run_program("/bin/sh", dir, {"-c", "ulimit -f 2048; exec " + csv_command("--src=big.csv --dest=big.sql")});
    ASSERT_EQ(some.code, 255) << some.out << some.err;
    std::smatch kept;
    const std::regex told(R"(The dump written so far is kept in (big\.sql\.~[0-9.]+part)\n)");
    ASSERT_TRUE(std::regex_search(some.err, kept, told)) << some.err;
    EXPECT_NE(some.out.find("Error:\nCannot write the dump file '" + kept[1].str() + "': File too large"),
              std::string::npos)
        << some.out;
    const std::string part = test_dir::read(dir.file(kept[1].str()));
    EXPECT_LE(part.size(), 1u << 20);
    EXPECT_TRUE(part.ends_with(");\r\n")) << part.substr(part.size() - 100);
    EXPECT_NE(part.find("INSERT INTO"), std::string::npos);
    fs::remove(dir.file(kept[1].str()));

    const program_result none =
        run_program("/bin/sh", dir, {"-c", "ulimit -f 1; exec " + csv_command("--src=big.csv --dest=big.sql")});
    EXPECT_EQ(none.code, 255) << none.out << none.err;
    EXPECT_EQ(none.err, "");
    for (const std::string& name : names_in(dir.path()))
        EXPECT_FALSE(name.starts_with("big.sql")) << name;
}

// A small file system of its own, gone with the object; mounting it needs
// root.
class small_disk {
public:
    explicit small_disk(const fs::path& at) : path(at)
    {
        fs::create_directory(path);
        mounted = ::mount("tmpfs", path.c_str(), "tmpfs", 0, "size=1m") == 0;
    }
    ~small_disk()
    {
        if (mounted)
            ::umount(path.c_str());
    }
    small_disk(const small_disk&) = delete;
    small_disk& operator=(const small_disk&) = delete;
    bool is_mounted() const { return mounted; }

private:
    fs::path path;
    bool mounted = false;
};

// A full disk under the dump: the work file kept is named and ends with a
// whole statement.
TEST(ConsoleWorkFiles, AFullDiskKeepsWholeStatements)
{
    test_dir dir;
    const small_disk disk(dir.path() / "small");
    if (!disk.is_mounted())
        GTEST_SKIP() << "no file system of 1 MiB can be mounted here";
    write_long_csv(dir.file("big.csv"), 100000);
    const program_result r = run_program("/bin/sh", dir, {"-c", csv_command("--src=big.csv --dest=small/big.sql")});
    ASSERT_EQ(r.code, 255) << r.out << r.err;
    std::smatch kept;
    ASSERT_TRUE(std::regex_search(r.err, kept, std::regex(R"(kept in (small/big\.sql\.~[0-9.]+part)\n)"))) << r.err;
    EXPECT_NE(r.out.find("Cannot write the dump file '" + kept[1].str() + "': No space left on device"),
              std::string::npos)
        << r.out;
    const std::string part = test_dir::read(dir.file(kept[1].str()));
    EXPECT_TRUE(part.ends_with(");\r\n")) << part.substr(part.size() - 100);
}

// A CSV file that another program cuts short while the run reads it: the
// notice says how much was read, and the line the new end cut is named and
// not converted. The run is held on the dump's FIFO while the file is cut.
TEST(ConsoleWorkFiles, ACsvFileCutShortDuringTheRunIsReportedAsRead)
{
    test_dir dir;
    write_long_csv(dir.file("big.csv"), 1000000);
    const std::string text = test_dir::read(dir.file("big.csv"));
    // Five bytes into the line of id 600000 (line 600001).
    const size_t line_start = text.find("\n600000,") + 1;
    ASSERT_EQ(::mkfifo(dir.file("out.fifo").c_str(), 0600), 0);
    morvante_process run(dir, {"--from_csv", "--src=big.csv", "--csv_delim=2", "--extr_fn", "--tab_name=big",
                               "--no_refine", "--dump", "--dest=out.fifo"});
    const int fifo = ::open(dir.file("out.fifo").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fifo, 0);
    pollfd ready{fifo, POLLIN, 0};
    ASSERT_EQ(::poll(&ready, 1, 30000), 1) << run.out() << run.err();
    ::fcntl(fifo, F_SETFL, 0);
    std::string dump(1000, '\0');
    ASSERT_EQ(::read(fifo, dump.data(), dump.size()), 1000);
    ASSERT_EQ(::truncate(dir.file("big.csv").c_str(), static_cast<off_t>(line_start + 5)), 0);
    char buffer[65536];
    for (ssize_t n; (n = ::read(fifo, buffer, sizeof(buffer))) > 0;)
        dump.append(buffer, static_cast<size_t>(n));
    ::close(fifo);
    EXPECT_EQ(run.wait(60s), std::optional<int>(1));
    EXPECT_NE(run.out().find("Notice: The source file 'big.csv' changed while it was converted (its size or "
                             "modification time is no longer what it was when the run began): the rows converted "
                             "are those of its first " +
                             std::to_string(line_start) +
                             " bytes. The file ended before its size at the start, inside line 600001: that line, "
                             "cut short, was not converted.\n"),
              std::string::npos)
        << run.out();
    // The last row is the last whole line's.
    const size_t last_row = dump.rfind("('");
    ASSERT_NE(last_row, std::string::npos);
    EXPECT_EQ(dump.substr(last_row, 40), "('599999', 'name 599999', '599999.5');\r\n");
}
