// The files a run touches, on the real program: a source that can be read
// only once, the dump's work file, one file named twice, a log that cannot be
// written. Only the destination is ever written.
#include "con_help.hpp"
#include "con_proc.hpp"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string people = "id,name\n1,ann\n2,bob\n";
const std::vector<std::string> csv_run = {"--from_csv", "--csv_delim=2", "--extr_fn", "--tab_name=t", "--dump"};

std::vector<std::string> with(std::vector<std::string> base, std::initializer_list<std::string> more)
{
    base.insert(base.end(), more);
    return base;
}

// Both rows of `people` arrived in a table of its two columns.
void expect_people(const std::string& dump)
{
    EXPECT_NE(dump.find("`id`"), std::string::npos) << dump;
    EXPECT_NE(dump.find("(1, 'ann'),"), std::string::npos) << dump;
    EXPECT_NE(dump.find("(2, 'bob');"), std::string::npos) << dump;
}

} // namespace

// Two names for one file end the run with both names before anything is
// written: neither the source nor an earlier dump changes.
TEST(ConsoleFiles, OneFileNamedTwiceEndsTheRunNamingBoth)
{
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"--src=data.csv", "--dest=data.csv"},
         "The source 'data.csv' and the destination 'data.csv' are the same file."},
        {{"--src=data.csv", "--dest=link.csv"},
         "The source 'data.csv' and the destination 'link.csv' are the same file."},
        {{"--src=data.csv", "--dest=old.sql", "--logfile=data.csv"},
         "The source 'data.csv' and the log file 'data.csv' are the same file."},
        {{"--logfile=sub/../data.csv", "--src=data.csv", "--dest=old.sql"},
         "The source 'data.csv' and the log file 'sub/../data.csv' are the same file."},
        {{"--src=data.csv", "--dest=old.sql", "--logfile=old.sql"},
         "The destination 'old.sql' and the log file 'old.sql' are the same file."},
        // A profile names its files as the command line does.
        {{"--profile=into_source.rvl"}, "The source 'data.csv' and the destination 'data.csv' are the same file."},
        {{"--profile=log_source.rvl"}, "The source 'data.csv' and the log file 'data.csv' are the same file."},
    };
    const std::string profile_rest = "mode=0\n[MS Excel settings]\nconvert from xls=0\nextract field names=1\n"
                                     "[MySQL settings]\ndirect mode=0\n";
    for (const auto& c : cases) {
        std::vector<std::string> line = csv_run;
        line.insert(line.end(), c.args.begin(), c.args.end());
        SCOPED_TRACE(c.message);
        test_dir dir;
        test_dir::write(dir.file("data.csv"), people);
        test_dir::write(dir.file("old.sql"), "-- an earlier dump\n");
        fs::create_directory(dir.path() / "sub");
        fs::create_symlink("data.csv", dir.path() / "link.csv");
        test_dir::write(dir.file("into_source.rvl"), "[Generic settings]\nsrc=data.csv\ndest=data.csv\n" + profile_rest);
        test_dir::write(dir.file("log_source.rvl"),
                        "[Generic settings]\nsrc=data.csv\ndest=old.sql\nlogfile=data.csv\n" + profile_rest);
        const program_result r = run_morvante(dir, line);
        EXPECT_EQ(r.code, 255);
        EXPECT_EQ(r.out, "Error:\n" + c.message + "\n");
        EXPECT_EQ(test_dir::read(dir.file("data.csv")), people);
        EXPECT_EQ(test_dir::read(dir.file("old.sql")), "-- an earlier dump\n");
        EXPECT_TRUE(work_files(dir).empty());
    }
}

// A source named like a work file is a source like any other: the run
// writes a work file of its own and leaves the source whole.
TEST(ConsoleFiles, ASourceNamedLikeTheWorkFileStaysWhole)
{
    test_dir dir;
    test_dir::write(dir.file("data.part"), people);
    const program_result r = run_morvante(dir, with(csv_run, {"--src=data.part", "--dest=data"}));
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_EQ(test_dir::read(dir.file("data.part")), people);
    expect_people(test_dir::read(dir.file("data")));
    EXPECT_EQ(work_files(dir), std::vector<std::string>{"data.part"});
}

// A source that gives its bytes once (standard input, a named pipe) is read
// whole before the run, every reading of the run sees all of it, and the
// private copy is gone at the end.
TEST(ConsoleFiles, APipeIsReadOnceAndEveryRowArrives)
{
    test_dir dir;
    test_dir::write(dir.file("people.csv"), people);
    fs::create_directory(dir.path() / "tmp");
    const std::vector<std::pair<std::string, std::string>> env = {{"TMPDIR", dir.file("tmp")}};

    const std::string command = "cat people.csv | '" + std::string(MORVANTE_PATH) +
                                "' --from_csv --csv_delim=2 --extr_fn --tab_name=t --dump --src=/dev/stdin "
                                "--dest=stdin.sql";
    const program_result piped = run_program("/bin/sh", dir, {"-c", command}, env);
    EXPECT_EQ(piped.code, 0) << piped.out << piped.err;
    expect_people(test_dir::read(dir.file("stdin.sql")));

    // A program that opened the pipe a second time would wait for a writer
    // for ever: the wait is bounded.
    ASSERT_EQ(::mkfifo(dir.file("feed").c_str(), 0600), 0);
    {
        morvante_process fifo(dir, with(csv_run, {"--src=feed", "--dest=fifo.sql"}), env);
        test_dir::write(dir.file("feed"), people);
        EXPECT_EQ(fifo.wait(60s), std::optional<int>(0)) << fifo.out() << fifo.err();
    }
    expect_people(test_dir::read(dir.file("fifo.sql")));
    EXPECT_TRUE(fs::is_empty(dir.path() / "tmp"));

    // A source that is no plain file and cannot be read (a socket) ends the
    // run naming it, before anything is written.
    test_dir::write(dir.file("out.sql"), "-- an earlier dump\n");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string sock_path = dir.file("sock");
    ASSERT_LT(sock_path.size(), sizeof(address.sun_path));
    sock_path.copy(address.sun_path, sock_path.size());
    ASSERT_EQ(::bind(sock, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    const program_result unreadable =
        run_program(MORVANTE_PATH, dir, with(csv_run, {"--src=sock", "--dest=out.sql"}), env);
    ::close(sock);
    EXPECT_EQ(unreadable.code, 255);
    EXPECT_EQ(unreadable.out.rfind("Error:\nCannot read the source 'sock': ", 0), 0u) << unreadable.out;
    EXPECT_EQ(test_dir::read(dir.file("out.sql")), "-- an earlier dump\n");
    EXPECT_TRUE(fs::is_empty(dir.path() / "tmp"));
}

// The work file is new and the run's own: a link left where an earlier
// version put its work file is not written through.
TEST(ConsoleFiles, ALeftoverLinkBesideTheDestinationIsNotWrittenThrough)
{
    test_dir dir;
    test_dir::write(dir.file("people.csv"), people);
    test_dir::write(dir.file("precious.txt"), "precious\n");
    fs::create_symlink("precious.txt", dir.path() / "out.sql.part");
    const program_result r = run_morvante(dir, with(csv_run, {"--src=people.csv", "--dest=out.sql"}));
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_EQ(test_dir::read(dir.file("precious.txt")), "precious\n");
    EXPECT_TRUE(fs::is_symlink(dir.path() / "out.sql.part"));
    EXPECT_FALSE(fs::is_symlink(dir.path() / "out.sql"));
    expect_people(test_dir::read(dir.file("out.sql")));
}

// Two runs into one destination at once: each writes its own work file and
// both succeed; the dump is the whole dump of one of them, never a mix.
TEST(ConsoleFiles, TwoRunsIntoOneDestinationEachWriteTheirOwnDump)
{
    test_dir dir;
    write_long_csv(dir.file("long.csv"), 2000000);
    write_long_csv(dir.file("short.csv"), 3);
    morvante_process long_run(dir, with(csv_run, {"--src=long.csv", "--dest=out.sql"}));
    // The long run is writing its rows when the short one starts.
    ASSERT_TRUE(eventually(
        [&] {
            const std::vector<std::string> names = work_files(dir);
            return !names.empty() && fs::file_size(dir.path() / names[0]) > 0;
        },
        60s));
    morvante_process short_run(dir, with(csv_run, {"--src=short.csv", "--dest=out.sql"}));
    EXPECT_EQ(short_run.wait(120s), std::optional<int>(0)) << short_run.out();
    EXPECT_EQ(long_run.wait(120s), std::optional<int>(0)) << long_run.out();
    const std::string dump = test_dir::read(dir.file("out.sql"));
    const bool is_long = dump.find("(2000000, 'name 2000000', 2000000.5);") != std::string::npos;
    const bool is_short = dump.find("(3, 'name 3', 3.5);") != std::string::npos;
    EXPECT_NE(is_long, is_short) << dump.substr(0, 2000);
    EXPECT_EQ(dump.find("(1, 'name 1', 1.5)"), dump.rfind("(1, 'name 1', 1.5)"));
    EXPECT_EQ(dump.find("# File name"), dump.rfind("# File name"));
    EXPECT_TRUE(work_files(dir).empty());
}

// A log file that stops taking lines is told of once; the run goes on.
TEST(ConsoleFiles, ALogThatCannotBeWrittenIsANoticeOnce)
{
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here";
    test_dir dir;
    test_dir::write(dir.file("people.csv"), people);
    const program_result r =
        run_morvante(dir, with(csv_run, {"--src=people.csv", "--dest=out.sql", "--logfile=/dev/full"}));
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    const std::string notice =
        "Notice: Cannot write the log file '/dev/full': No space left on device; lines of the log are lost from "
        "here on.\n";
    EXPECT_NE(r.out.find(notice), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Notice:"), r.out.rfind("Notice:")) << r.out;
    expect_people(test_dir::read(dir.file("out.sql")));
}

// Memory that runs out while a huge field is read is said as such, with what
// was being read; the run ends with 255 and keeps the dump written so far
// when it holds a row, and removes it when it holds none.
TEST(ConsoleMemory, RunningOutOfMemoryNamesWhatWasBeingRead)
{
    test_dir dir;
    {
        std::ofstream csv(dir.file("big.csv"), std::ios::binary);
        csv << "id,text\n1,short\n2," << std::string(100000000, 'x') << "\n";
    }
    // Too little for the reading before the copy, and for the huge record.
    for (const auto& [limit, kept] : {std::pair{"300000", false}, std::pair{"500000", true}}) {
        SCOPED_TRACE(limit);
        const std::string command = std::string("ulimit -v ") + limit + "; exec '" + MORVANTE_PATH +
                                    "' --from_csv --csv_delim=2 --extr_fn --tab_name=t --dump --src=big.csv "
                                    "--dest=big.sql";
        const program_result r = run_program("/bin/sh", dir, {"-c", command});
        EXPECT_EQ(r.code, 255);
        const size_t said = r.out.find("Error:\nNot enough memory while reading the file 'big.csv', table 't'");
        EXPECT_NE(said, std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("Internal error"), std::string::npos) << r.out;
        EXPECT_EQ(r.err.rfind("The dump written so far is kept in big.sql.~", 0) == 0, kept) << r.err;
        EXPECT_EQ(work_files(dir).size(), kept ? 1u : 0u);
        for (const std::string& name : work_files(dir))
            fs::remove(dir.path() / name);
    }
}
