// The program's own files are never its output, on the real program: the
// files a run reads (profile, table list, settings store) are neither its
// dump nor its log; a dump replaces the file its path leads to as that file
// was (mode, owner, the link to it); any legal destination name works; a
// dump to standard output gets standard output to itself; a settings store
// or a log that cannot be used is a notice; the password leaves the
// process listing.
#include "con_help.hpp"
#include "con_proc.hpp"
#include "server_env.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string people = "id,name\n1,ann\n2,bob\n";
const std::vector<std::string> csv_run = {"--from_csv", "--csv_delim=2", "--extr_fn", "--tab_name=t", "--dump"};

std::vector<std::string> with(std::vector<std::string> base, const std::vector<std::string>& more)
{
    base.insert(base.end(), more.begin(), more.end());
    return base;
}

// Both rows of `people` arrived in a table of its two columns.
void expect_people(const std::string& dump)
{
    EXPECT_NE(dump.find("CREATE TABLE `t`"), std::string::npos) << dump;
    EXPECT_NE(dump.find("(1, 'ann'),"), std::string::npos) << dump;
    EXPECT_NE(dump.find("(2, 'bob');"), std::string::npos) << dump;
}

// The settings store the programs read, under the test's folder.
std::string store_file(const test_dir& dir) { return dir.file("config/Brenvault/Tessaline.reg"); }

void write_store(const test_dir& dir, const std::string& content)
{
    fs::create_directories(dir.path() / "config/Brenvault");
    test_dir::write(store_file(dir), content);
}

// The process-wide arguments of a process, each followed by a zero byte.
std::string command_line(pid_t pid) { return test_dir::read("/proc/" + std::to_string(pid) + "/cmdline"); }

// The one child process of the test still running, or 0.
pid_t running_child()
{
    for (const fs::directory_entry& e : fs::directory_iterator("/proc")) {
        const std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const std::string stat = test_dir::read(e.path().string() + "/stat");
        const size_t close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        // "pid (name) state ppid ..."
        std::istringstream rest(stat.substr(close + 1));
        std::string state;
        pid_t parent = 0;
        rest >> state >> parent;
        if (parent == ::getpid() && state != "Z")
            return std::stoi(name);
    }
    return 0;
}

} // namespace

// Every file the run reads is compared with the dump and the log: one that
// is the other ends the run naming both, and no file changes.
TEST(ConsoleOwnFiles, NoFileTheRunReadsIsItsDumpOrItsLog)
{
    const std::string store_text = "dword dmp_ins_db=0\n";
    const std::string profile = "[Generic settings]\nsrc=data.csv\n[MS Excel settings]\nconvert from xls=0\n";
    const struct {
        std::vector<std::string> args;
        std::string first, second;  // "what 'path'" of the two names
    } cases[] = {
        {{"--profile=job.rvl", "--dest=job.rvl"}, "profile 'job.rvl'", "destination 'job.rvl'"},
        {{"--profile=job.rvl", "--dest=out.sql", "--logfile=job.rvl"}, "profile 'job.rvl'", "log file 'job.rvl'"},
        {{"--src=data.csv", "--tab_file=tabs.txt", "--dest=tabs.txt"}, "table list 'tabs.txt'",
         "destination 'tabs.txt'"},
        {{"--src=data.csv", "--tab_file=tabs.txt", "--dest=out.sql", "--logfile=./tabs.txt"},
         "table list 'tabs.txt'", "log file './tabs.txt'"},
        {{"--src=data.csv", "--dest=config/Brenvault/Tessaline.reg"}, "settings store '<store>'",
         "destination 'config/Brenvault/Tessaline.reg'"},
        {{"--src=data.csv", "--dest=out.sql", "--logfile=store.lnk"}, "settings store '<store>'",
         "log file 'store.lnk'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first + " / " + c.second);
        test_dir dir;
        test_dir::write(dir.file("data.csv"), people);
        test_dir::write(dir.file("job.rvl"), profile);
        test_dir::write(dir.file("tabs.txt"), "Sheet1\n");
        write_store(dir, store_text);
        fs::create_symlink(store_file(dir), dir.path() / "store.lnk");
        std::string first = c.first;
        if (const size_t at = first.find("<store>"); at != std::string::npos)
            first.replace(at, 7, store_file(dir));
        const program_result r = run_morvante(dir, with(csv_run, c.args));
        EXPECT_EQ(r.code, 255);
        EXPECT_EQ(r.out, "Error:\nThe " + first + " and the " + c.second + " are the same file.\n");
        EXPECT_EQ(test_dir::read(dir.file("job.rvl")), profile);
        EXPECT_EQ(test_dir::read(dir.file("tabs.txt")), "Sheet1\n");
        EXPECT_EQ(test_dir::read(store_file(dir)), store_text);
        EXPECT_FALSE(fs::exists(dir.path() / "out.sql"));
        EXPECT_TRUE(work_files(dir).empty());
    }
}

// A log named like a destination that does not exist yet: the run is
// refused and leaves no file of that name behind.
TEST(ConsoleOwnFiles, ARefusedLogLeavesNoFileBehind)
{
    test_dir dir;
    test_dir::write(dir.file("data.csv"), people);
    const program_result r =
        run_morvante(dir, with(csv_run, {"--logfile=new.sql", "--src=data.csv", "--dest=new.sql"}));
    EXPECT_EQ(r.code, 255);
    EXPECT_EQ(r.out, "Error:\nThe destination 'new.sql' and the log file 'new.sql' are the same file.\n");
    EXPECT_FALSE(fs::exists(dir.path() / "new.sql"));
}

// The dump replaces the file its path leads to: a link stays a link to the
// new dump, and the file keeps its mode, owner and group; another hard link
// to the old file keeps the old dump.
TEST(ConsoleOwnFiles, ADumpReplacesTheFileItsPathLeadsToAsItWas)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving a file another owner needs root";
    test_dir dir;
    test_dir::write(dir.file("data.csv"), people);
    fs::create_directory(dir.path() / "kept");
    const std::string real = dir.file("kept/real.sql");
    test_dir::write(real, "-- the old dump\n");
    ASSERT_EQ(::chown(real.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    fs::create_hard_link(real, dir.path() / "hard.sql");
    fs::create_symlink("kept/real.sql", dir.path() / "link.sql");
    fs::create_symlink("link.sql", dir.path() / "chain.sql");

    const program_result r = run_morvante(dir, with(csv_run, {"--src=data.csv", "--dest=chain.sql"}));
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_TRUE(fs::is_symlink(dir.path() / "chain.sql"));
    EXPECT_TRUE(fs::is_symlink(dir.path() / "link.sql"));
    expect_people(test_dir::read(real));
    struct stat st {};
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(test_dir::read(dir.file("hard.sql")), "-- the old dump\n");
    EXPECT_TRUE(work_files(dir).empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "kept"), fs::directory_iterator()), 1);
}

// A destination whose name is as long as the file system allows (in bytes,
// or in two-byte characters) is written like any other; its work file gets
// a shorter name.
TEST(ConsoleOwnFiles, EveryLegalDestinationNameWorks)
{
    const long name_max = ::pathconf(fs::temp_directory_path().c_str(), _PC_NAME_MAX);
    ASSERT_GT(name_max, 4);
    std::string accented;
    while (accented.size() + 2 <= static_cast<size_t>(name_max) - 4)
        accented += "\xC3\xA9";  // é
    for (const std::string& name : {std::string(static_cast<size_t>(name_max) - 4, 'd') + ".sql", accented + ".sql"}) {
        SCOPED_TRACE(name.size());
        test_dir dir;
        test_dir::write(dir.file("data.csv"), people);
        test_dir::write(dir.file(name), "-- the old dump\n");
        const program_result r = run_morvante(dir, with(csv_run, {"--src=data.csv", "--dest=" + name}));
        EXPECT_EQ(r.code, 0) << r.out << r.err;
        expect_people(test_dir::read(dir.file(name)));
        EXPECT_TRUE(work_files(dir).empty());
    }
}

// A dump piped on (--dest=/dev/stdout | mariadb) is the dump alone: the
// progress line and the notices, even those that come before the command
// line is read, go to standard error.
TEST(ConsoleOwnFiles, ADumpToStandardOutputHasItToItself)
{
    test_dir dir;
    test_dir::write(dir.file("data.csv"), people);
    // A stored setting that is refused gives a notice while the program starts.
    write_store(dir, "sz char_set=utf8;x\n");
    const std::string command = "'" + std::string(MORVANTE_PATH) +
                                "' --from_csv --csv_delim=2 --extr_fn --tab_name=t --dump --src=data.csv "
                                "--dest=/dev/stdout | cat > piped.sql";
    const program_result piped = run_program("/bin/sh", dir, {"-c", command});
    EXPECT_EQ(piped.code, 0) << piped.err;
    EXPECT_EQ(piped.out, "");
    EXPECT_NE(piped.err.find("Converting CSV file data.csv\n"), std::string::npos) << piped.err;
    EXPECT_NE(piped.err.find("Notice: The stored setting char_set 'utf8;x' is not a plain name"), std::string::npos)
        << piped.err;

    const program_result file = run_morvante(dir, with(csv_run, {"--src=data.csv", "--dest=file.sql"}));
    ASSERT_EQ(file.code, 0) << file.out;
    // The same dump but for the name in its first line.
    const std::string from_pipe = test_dir::read(dir.file("piped.sql"));
    const std::string from_file = test_dir::read(dir.file("file.sql"));
    ASSERT_EQ(from_pipe.rfind("# File name: /dev/stdout\r\n", 0), 0u) << from_pipe;
    EXPECT_EQ(from_pipe.substr(from_pipe.find('\n')), from_file.substr(from_file.find('\n')));
    expect_people(from_pipe);
}

// The use it is for: piped into the mariadb client, the dump loads whole,
// and the lines of the run are read on standard error.
TEST(ConsoleOwnFiles, ADumpPipedIntoTheClientLoads)
{
    RVL_NEED_TEST_SERVER();
    const server_settings s = *test_server_settings();
    const test_database db;
    test_dir dir;
    test_dir::write(dir.file("data.csv"), people);
    const std::string command = "set -o pipefail; '" + std::string(MORVANTE_PATH) +
                                "' --from_csv --csv_delim=2 --extr_fn --tab_name=t --dump --src=data.csv "
                                "--dest=/dev/stdout | mariadb --no-defaults -h" + s.host + " -P" +
                                std::to_string(s.port) + " -u" + s.user + " -p" + s.password + " " + db.name();
    const program_result piped = run_program("/bin/bash", dir, {"-c", command});
    EXPECT_EQ(piped.code, 0) << piped.out << piped.err;
    EXPECT_NE(piped.err.find("Converting CSV file data.csv\n"), std::string::npos) << piped.err;
    test_connection connection(db.name());
    EXPECT_EQ(connection.rows("SELECT id, name FROM t ORDER BY id"),
              (std::vector<std::vector<std::string>>{{"1", "ann"}, {"2", "bob"}}));
}

// A settings store that is no plain file is not read: a notice names it,
// the defaults stand and the run goes to its end.
TEST(ConsoleOwnFiles, ASettingsStoreThatIsNoPlainFileIsANotice)
{
    const std::vector<std::string> kinds = {"folder", "zeros", "pipe"};
    for (const std::string& kind : kinds) {
        SCOPED_TRACE(kind);
        test_dir dir;
        test_dir::write(dir.file("data.csv"), people);
        fs::create_directories(dir.path() / "config/Brenvault");
        const std::string store = store_file(dir);
        if (kind == "folder")
            fs::create_directory(store);
        else if (kind == "zeros")
            fs::create_symlink("/dev/zero", store);
        else
            ASSERT_EQ(::mkfifo(store.c_str(), 0600), 0);
        morvante_process run(dir, with(csv_run, {"--src=data.csv", "--dest=out.sql"}));
        ASSERT_EQ(run.wait(60s), std::optional<int>(0)) << run.out() << run.err();
        EXPECT_NE(run.out().find("Notice: The settings store '" + store +
                                 "' is no plain file of at most 1048576 bytes and is ignored; the defaults are "
                                 "used.\n"),
                  std::string::npos)
            << run.out();
        expect_people(test_dir::read(dir.file("out.sql")));
    }
}

// A log that cannot be created is what a log that cannot be written is: a
// notice, and the run goes on without it.
TEST(ConsoleOwnFiles, ALogThatCannotBeCreatedIsANotice)
{
    const struct {
        std::string log, reason;
    } cases[] = {
        {"missing/run.log", "Log file 'missing/run.log': its path does not exist. Please verify the correct path was given."},
        {"read_only.log", "Log file 'read_only.log' specifies an existing read-only file."},
        {"sub", "Log file 'sub' specifies an existing path."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.log);
        test_dir dir;
        test_dir::write(dir.file("data.csv"), people);
        test_dir::write(dir.file("read_only.log"), "");
        fs::permissions(dir.path() / "read_only.log", fs::perms(0444));
        fs::create_directory(dir.path() / "sub");
        const program_result r =
            run_morvante(dir, with(csv_run, {"--src=data.csv", "--dest=out.sql", "--logfile=" + c.log}));
        EXPECT_EQ(r.code, 0) << r.out << r.err;
        EXPECT_NE(r.out.find("Notice: " + c.reason + " The log is not used; the run goes on without it.\n"),
                  std::string::npos)
            << r.out;
        expect_people(test_dir::read(dir.file("out.sql")));
        EXPECT_EQ(test_dir::read(dir.file("read_only.log")), "");
    }
}

// The password given with --pswd= is no longer in the process's arguments
// once the command line is read: other users' process listings show it
// while the run goes on.
TEST(ConsoleOwnFiles, ThePasswordLeavesTheProcessListing)
{
    test_dir dir;
    ASSERT_EQ(::mkfifo(dir.file("feed").c_str(), 0600), 0);
    // The run waits for the pipe's writer after its command line is read.
    morvante_process run(dir, with(csv_run, {"--src=feed", "--dest=out.sql", "--pswd=hush-hush-42"}));
    pid_t pid = 0;
    ASSERT_TRUE(eventually([&] { return (pid = running_child()) != 0; }, 30s));
    std::string seen;
    EXPECT_TRUE(eventually(
        [&] {
            seen = command_line(pid);
            return seen.find("--pswd=xxxxxxxxxxxx") != std::string::npos;
        },
        30s));
    EXPECT_EQ(seen.find("hush-hush-42"), std::string::npos);
    test_dir::write(dir.file("feed"), people);
    EXPECT_EQ(run.wait(60s), std::optional<int>(0)) << run.out() << run.err();
    expect_people(test_dir::read(dir.file("out.sql")));
}
