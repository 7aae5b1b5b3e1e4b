// Runs that end early: SIGINT on a long dump run, and a server that stops
// answering or dies under a run. The server cases use a MariaDB server of the
// test's own (stopped and killed on purpose), with a short read timeout from
// the option file the program reads.
#include "con_db.hpp"
#include "con_proc.hpp"
#include "server_env.hpp"

#include <gtest/gtest.h>
#include <mysql.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <regex>

namespace {

using namespace std::chrono_literals;

int count_of(const std::string& text, const std::string& part)
{
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// SIGHUP comes when the terminal or the ssh session closes.
TEST(ConsoleStop, SigintSigtermAndSighupEndTheRunWithWholeStatementsBesideTheOldDump)
{
    const std::vector<std::string> args = {"--from_csv", "--src=big.csv", "--csv_delim=2", "--extr_fn",
                                           "--tab_name=big", "--dump", "--dest=big.sql"};
    for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(number);
        test_dir dir;
        write_long_csv(dir.file("big.csv"), 1000000);
        test_dir::write(dir.file("big.sql"), "-- the dump of an earlier run\n");
        std::string kept;
        {
            morvante_process run(dir, args);
            ASSERT_TRUE(eventually([&] { return run.out().find("Converting CSV file") != std::string::npos; }, 60s));
            run.signal(number);
            const std::optional<int> code = run.wait(120s);
            ASSERT_TRUE(code.has_value()) << "the run did not stop";
            EXPECT_EQ(*code, 255);
            const std::string told = "The conversion was interrupted.\nThe dump written so far is kept in ";
            ASSERT_EQ(run.err().rfind(told, 0), 0u) << run.err();
            kept = run.err().substr(told.size());
            ASSERT_TRUE(kept.ends_with("\n"));
            kept.pop_back();
        }
        // The run's own work file beside the dump.
        EXPECT_TRUE(std::regex_match(kept, std::regex(R"(big\.sql\.~[0-9]+\.[0-9]+\.part)"))) << kept;
        EXPECT_EQ(test_dir::read(dir.file("big.sql")), "-- the dump of an earlier run\n");
        const std::string part = test_dir::read(dir.file(kept));
        EXPECT_TRUE(part.ends_with(";\r\n")) << part.substr(part.size() > 200 ? part.size() - 200 : 0);
        EXPECT_EQ(part.find("'1000000'"), std::string::npos) << "the run was not interrupted";

        // A run that goes to its end gives the dump its name.
        write_long_csv(dir.file("big.csv"), 3);
        morvante_process again(dir, args);
        ASSERT_EQ(again.wait(120s), std::optional<int>(0)) << again.out() << again.err();
        EXPECT_NE(test_dir::read(dir.file("big.sql")).find("(3, 'name 3', 3.5)"), std::string::npos);
        size_t work_files = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            work_files += entry.path().filename().string().ends_with(".part") ? 1 : 0;
        EXPECT_EQ(work_files, 1u) << "only the interrupted run's is left";
    }
}

// A second stop signal, of the same kind or another, ends the program at
// once (by that signal) instead of asking again.
TEST(ConsoleStop, ASecondStopSignalOfAnyKindEndsTheProgramAtOnce)
{
    for (const auto& [first, second] : {std::pair{SIGINT, SIGTERM}, std::pair{SIGTERM, SIGHUP}}) {
        SCOPED_TRACE(first);
        test_dir dir;
        write_long_csv(dir.file("big.csv"), 1000000);
        morvante_process run(dir, {"--from_csv", "--src=big.csv", "--csv_delim=2", "--extr_fn", "--tab_name=big",
                                   "--dump", "--dest=big.sql"});
        ASSERT_TRUE(eventually([&] { return run.out().find("Converting CSV file") != std::string::npos; }, 60s));
        run.signal(first);
        run.signal(second);
        EXPECT_EQ(run.wait(30s), std::optional<int>(-1)) << run.err();
    }
}

// The main thread of the process sleeps in a system call.
bool is_sleeping(pid_t pid)
{
    const std::string stat = test_dir::read("/proc/" + std::to_string(pid) + "/stat");
    const size_t end = stat.rfind(") ");
    return end != std::string::npos && stat.compare(end + 2, 1, "S") == 0;
}

// The process holds the file open.
bool holds_open(pid_t pid, const std::string& path)
{
    std::error_code ec;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec))
        if (std::filesystem::read_symlink(fd.path(), ec) == path)
            return true;
    return false;
}

// Bytes written into the pipe that nobody read yet.
int unread(int fd)
{
    int n = -1;
    ::ioctl(fd, FIONREAD, &n);
    return n;
}

// A stop ends a run blocked in a read or an open at once, whichever stop
// signal it is: the copy of a pipe whose writer holds it open without
// writing, and a dump into a FIFO that nobody reads. Nothing is left: no
// copy in the temporary folder, no work file, no dump.
TEST(ConsoleStop, AStopEndsARunBlockedInAReadOrAnOpenAtOnce)
{
    for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(number);
        test_dir dir;
        std::filesystem::create_directory(dir.path() / "tmp");
        const std::vector<std::pair<std::string, std::string>> env = {{"TMPDIR", dir.file("tmp")}};
        const std::vector<std::string> csv = {"--from_csv", "--csv_delim=2", "--extr_fn", "--tab_name=t", "--dump"};
        ASSERT_EQ(::mkfifo(dir.file("feed").c_str(), 0600), 0);
        ASSERT_EQ(::mkfifo(dir.file("out.fifo").c_str(), 0600), 0);
        {
            // Held open for writing and for reading, so neither side waits
            // to open it.
            const int feed = ::open(dir.file("feed").c_str(), O_RDWR);
            ASSERT_GE(feed, 0);
            // A CSV file, and a workbook, whose worksheets are listed from
            // the copy while the command line is read.
            for (const std::vector<std::string>& kind : {csv, std::vector<std::string>{"--dump"}}) {
                ASSERT_EQ(::write(feed, "id,name\n1,ann\n", 14), 14);
                std::vector<std::string> args = kind;
                args.insert(args.end(), {"--src=feed", "--dest=out.sql"});
                morvante_process run(dir, args, env);
                ASSERT_TRUE(eventually([&] { return unread(feed) == 0 && is_sleeping(run.id()); }, 30s));
                run.signal(number);
                EXPECT_EQ(run.wait(5s), std::optional<int>(255)) << "the copy of the pipe went on";
                EXPECT_EQ(run.err(), "The conversion was interrupted.\n");
                EXPECT_EQ(run.out(), "");
            }
            ::close(feed);
        }
        {
            test_dir::write(dir.file("people.csv"), "id,name\n1,ann\n");
            std::vector<std::string> args = csv;
            args.insert(args.end(), {"--src=people.csv", "--dest=out.fifo"});
            morvante_process run(dir, args, env);
            ASSERT_TRUE(eventually(
                [&] { return holds_open(run.id(), dir.file("people.csv")) && is_sleeping(run.id()); }, 30s));
            run.signal(number);
            EXPECT_EQ(run.wait(5s), std::optional<int>(255)) << "the open of the FIFO went on";
            EXPECT_EQ(run.err(), "The conversion was interrupted.\n");
        }
        EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "tmp"));
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            EXPECT_FALSE(entry.path().filename().string().starts_with("out.sql")) << entry.path();
    }
}

// Under nohup SIGHUP is ignored when the program starts; it stays ignored,
// and the run goes to its end. SIGTERM still stops it.
TEST(ConsoleStop, ASignalIgnoredAtTheStartStaysIgnored)
{
    for (const bool then_term : {false, true}) {
        SCOPED_TRACE(then_term);
        test_dir dir;
        ASSERT_EQ(::mkfifo(dir.file("feed").c_str(), 0600), 0);
        // Not the program's: its end comes when the test closes it.
        const int feed = ::open(dir.file("feed").c_str(), O_RDWR | O_CLOEXEC);
        ASSERT_GE(feed, 0);
        ASSERT_EQ(::write(feed, "id,name\n1,ann\n", 14), 14);
        morvante_process run(dir,
                             {"--from_csv", "--csv_delim=2", "--extr_fn", "--tab_name=t", "--dump", "--src=feed",
                              "--dest=out.sql"},
                             {}, {SIGHUP});
        ASSERT_TRUE(eventually([&] { return unread(feed) == 0 && is_sleeping(run.id()); }, 30s));
        run.signal(SIGHUP);
        if (then_term)
            run.signal(SIGTERM);
        ASSERT_EQ(::write(feed, "2,bob\n", 6), 6);
        ::close(feed);
        const std::optional<int> code = run.wait(30s);
        if (then_term) {
            EXPECT_EQ(code, std::optional<int>(255)) << run.err();
            EXPECT_EQ(run.err(), "The conversion was interrupted.\n");
            continue;
        }
        EXPECT_EQ(code, std::optional<int>(0)) << run.err();
        EXPECT_NE(test_dir::read(dir.file("out.sql")).find("(2, 'bob')"), std::string::npos);
    }
}

// A dump into a FIFO whose reader stopped reading: the writer waits for
// room that never comes; a stop ends that wait too.
TEST(ConsoleStop, AStopEndsADumpIntoAPipeNobodyReads)
{
    test_dir dir;
    write_long_csv(dir.file("big.csv"), 200000);
    ASSERT_EQ(::mkfifo(dir.file("out.fifo").c_str(), 0600), 0);
    // Open for reading, never read.
    const int reader = ::open(dir.file("out.fifo").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    morvante_process run(dir, {"--from_csv", "--src=big.csv", "--csv_delim=2", "--extr_fn", "--tab_name=big",
                               "--dump", "--dest=out.fifo"});
    // The pipe is full and the program waits.
    ASSERT_TRUE(eventually([&] { return unread(reader) > 0 && is_sleeping(run.id()); }, 60s)) << run.err();
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(is_sleeping(run.id()));
    run.signal(SIGTERM);
    EXPECT_EQ(run.wait(10s), std::optional<int>(255)) << "the write into the pipe went on";
    EXPECT_EQ(run.err(), "The conversion was interrupted.\n");
    ::close(reader);
}

// A statement the server keeps waiting (another session holds the table the
// run appends to) is ended on the server by a stop, and the connection stays
// usable for the clean-up: nothing of the run is left there, and the table
// keeps its rows.
TEST(ConsoleStop, AStopEndsAStatementTheServerKeepsWaitingAndCleansUp)
{
    RVL_NEED_TEST_SERVER();
    scratch_db db("held");
    db.create();
    db.execute("CREATE TABLE people (id INT PRIMARY KEY, name VARCHAR(10))");
    db.execute("INSERT INTO people VALUES (1, 'old'), (2, 'old')");
    test_dir dir;
    test_dir::write(dir.file("people.csv"), "id,name\n3,ab\n4,x\n5,y\n");
    test_connection holder(db.name());
    holder.execute("LOCK TABLES people WRITE");
    const server_settings s = *test_server_settings();
    morvante_process run(dir, {"--from_csv", "--src=people.csv", "--csv_delim=2", "--extr_fn", "--tab_name=people",
                               "--host=127.0.0.1", "--port=" + std::to_string(s.port), "--user=" + s.user,
                               "--pswd=" + s.password, "--dest=" + db.name(), "--mode=3"});
    const std::string waiting = "SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE DB = '" + db.name() +
                                "' AND STATE LIKE 'Waiting for%'";
    ASSERT_TRUE(eventually([&] { return test_connection().rows(waiting)[0][0] != "0"; }, 30s))
        << run.out() << run.err();
    run.signal(SIGTERM);
    EXPECT_EQ(run.wait(10s), std::optional<int>(255)) << run.out() << run.err();
    EXPECT_NE(run.err().find("The conversion was interrupted."), std::string::npos) << run.err();
    EXPECT_EQ(count_of(run.out(), "Error:"), 0) << run.out();
    // The run's statement ended on the server with the run.
    EXPECT_EQ(test_connection().rows(waiting)[0][0], "0");
    holder.execute("UNLOCK TABLES");
    EXPECT_EQ(db.tables(), (texts{"people"}));
    EXPECT_EQ(db.rows("SELECT id, name FROM people ORDER BY id"), (texts{"1|old", "2|old"}));
}

// A port on 127.0.0.1 that nothing listens on now.
unsigned free_port()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof(address);
    ::bind(s, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(s);
    return ntohs(address.sin_port);
}

struct mysql_closer {
    void operator()(MYSQL* m) const { mysql_close(m); }
};
using mysql_ptr = std::unique_ptr<MYSQL, mysql_closer>;

// A MariaDB server in a folder of its own, as tools/mariadb.sh starts the
// shared one, with the user the program connects as.
class private_server {
public:
    private_server() : port(free_port())
    {
        const std::string data = dir.file("data");
        // Temporary files in the server's own folder: servers set up side by
        // side (other tests, the shared one) never meet in /tmp.
        const std::string tmp = dir.file("tmp");
        std::filesystem::create_directory(tmp);
        const std::string install = "mariadb-install-db --no-defaults --user=root "
                                    "--auth-root-authentication-method=normal --skip-test-db --datadir=" +
                                    data + " --tmpdir=" + tmp + " --innodb-log-file-size=16M > " +
                                    dir.file("install.log") + " 2>&1";
        if (std::system(install.c_str()) != 0)
            return;
        pid = ::fork();
        if (pid == 0) {
            ::dup2(::open(dir.file("server.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
            ::dup2(1, 2);
            const std::vector<std::string> args = {
                "mariadbd", "--no-defaults", "--user=root", "--datadir=" + data, "--tmpdir=" + tmp, "--bind-address=127.0.0.1",
                "--port=" + std::to_string(port), "--socket=" + socket(), "--pid-file=" + dir.file("server.pid"),
                "--character-set-server=utf8mb4", "--innodb-log-file-size=16M", "--skip-log-bin",
                // Current MySQL's default mode, as the shared test server runs.
                "--sql-mode=ONLY_FULL_GROUP_BY,STRICT_TRANS_TABLES,NO_ZERO_IN_DATE,NO_ZERO_DATE,"
                "ERROR_FOR_DIVISION_BY_ZERO,NO_ENGINE_SUBSTITUTION"};
            std::vector<char*> argv;
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execvp("mariadbd", argv.data());
            ::_exit(127);
        }
        if (!eventually([&] { return connect() != nullptr; }, 60s))
            return;
        mysql_ptr root = connect();
        ready = mysql_query(root.get(), "CREATE USER 'rvl_test'@'127.0.0.1' IDENTIFIED BY 'rvl_test_pw'") == 0 &&
                mysql_query(root.get(), "GRANT ALL PRIVILEGES ON *.* TO 'rvl_test'@'127.0.0.1'") == 0;
    }
    ~private_server() { kill(); }
    private_server(const private_server&) = delete;
    private_server& operator=(const private_server&) = delete;

    bool is_ready() const { return ready; }
    std::string log() const { return test_dir::read(dir.file("install.log")) + test_dir::read(dir.file("server.log")); }
    void stop() const { ::kill(pid, SIGSTOP); }
    void kill()
    {
        if (pid <= 0)
            return;
        ::kill(pid, SIGCONT);
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        pid = -1;
    }
    // The rows of a table, 0 while it does not exist.
    long rows(const std::string& table) const
    {
        mysql_ptr c = connect();
        if (!c || mysql_query(c.get(), ("SELECT COUNT(*) FROM " + table).c_str()) != 0)
            return 0;
        MYSQL_RES* result = mysql_store_result(c.get());
        MYSQL_ROW row = result != nullptr ? mysql_fetch_row(result) : nullptr;
        const long n = row != nullptr ? std::atol(row[0]) : 0;
        mysql_free_result(result);
        return n;
    }
    std::vector<std::string> args(const std::string& database) const
    {
        return {"--from_csv", "--src=big.csv", "--csv_delim=2", "--extr_fn", "--tab_name=big",
                "--host=127.0.0.1", "--port=" + std::to_string(port), "--user=rvl_test",
                "--pswd=rvl_test_pw", "--dest=" + database, "--mode=0"};
    }

private:
    std::string socket() const { return dir.file("mysqld.sock"); }
    mysql_ptr connect() const
    {
        mysql_ptr c(mysql_init(nullptr));
        if (!mysql_real_connect(c.get(), nullptr, "root", nullptr, nullptr, 0, socket().c_str(), 0))
            return nullptr;
        return c;
    }

    test_dir dir;
    unsigned port;
    pid_t pid = -1;
    bool ready = false;
};

// The run is started on a long file and the server is made to fail once
// rows arrive; the run must end by itself with one report of the loss.
class ConsoleServerLost : public ::testing::Test {
protected:
    void SetUp() override
    {
        RVL_NEED_TEST_SERVER();  // the server programs are there
        ASSERT_TRUE(server.is_ready()) << server.log();
        write_long_csv(dir.file("big.csv"), 1000000);
        // The client's option file: a server that stops answering is given up
        // after 3 s.
        test_dir::write(dir.file(".my.cnf"), "[BV MySQL Lib]\nread_timeout=3\nwrite-timeout=3\n");
    }

    void expect_lost_connection(morvante_process& run)
    {
        const std::optional<int> code = run.wait(120s);
        ASSERT_TRUE(code.has_value()) << "the run did not end";
        EXPECT_EQ(*code, 255) << run.out() << run.err();
        const std::string out = run.out();
        EXPECT_EQ(count_of(out, "Error:"), 1) << out;
        EXPECT_NE(out.find("The connection to the MySQL server was lost"), std::string::npos) << out;
    }

    test_dir dir;
    private_server server;
};

TEST_F(ConsoleServerLost, AServerThatStopsAnsweringEndsTheRunAfterTheReadTimeout)
{
    morvante_process run(dir, server.args("stopped"), {{"HOME", dir.path().string()}});
    ASSERT_TRUE(eventually([&] { return server.rows("stopped.big") > 0; }, 60s)) << run.out() << run.err();
    server.stop();
    expect_lost_connection(run);
}

// The client waits up to its read timeout (600 s) for a server that stopped
// answering; a stop ends that wait within about a second.
TEST_F(ConsoleServerLost, AStopEndsTheWaitOnAServerThatStoppedAnswering)
{
    std::filesystem::remove(dir.file(".my.cnf"));
    morvante_process run(dir, server.args("waiting"), {{"HOME", dir.path().string()}});
    ASSERT_TRUE(eventually([&] { return server.rows("waiting.big") > 0; }, 60s)) << run.out() << run.err();
    server.stop();
    run.signal(SIGINT);
    EXPECT_EQ(run.wait(15s), std::optional<int>(255)) << "the run waited for the server";
    EXPECT_EQ(counts_hidden(run.err()), "The conversion was interrupted.\nNothing was dropped.\nWritten: database "
                                        "'waiting', table 'waiting.big' (# rows written before the failure).\n");
    EXPECT_EQ(count_of(run.out(), "Error:"), 0) << run.out();
}

TEST_F(ConsoleServerLost, AServerKilledMidRunEndsTheRunAtOnce)
{
    morvante_process run(dir, server.args("killed"), {{"HOME", dir.path().string()}});
    ASSERT_TRUE(eventually([&] { return server.rows("killed.big") > 0; }, 60s)) << run.out() << run.err();
    server.kill();
    expect_lost_connection(run);
}

} // namespace
