// The ravelin program running saved conversions (quick launch): the dump it
// writes is MORVANTE's, a profile that does not load ends it before anything
// is touched, a workbook reaches the live server, a failing worksheet meets
// the continue dialog, Cancel stops a long run; without a display, or without
// a profile, it ends at once.
#include "GUI2/g_wiz_sh.hpp"
#include "SQL/dmp_help.hpp"
#include "con_help.hpp"
#include "config_home.hpp"
#include "fake_ui.hpp"
#include "rvl_conv/rvl_conv.hpp"
#include "rvl_shel/rs_dlg.hpp"
#include "rvl_shel/rs_hooks.hpp"
#include "rvl_shel/rs_prog.hpp"
#include "rvl_shel/rs_start.hpp"

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>

#if !defined(RVL_PROFILES) || !defined(RVL_WORKBOOKS) || !defined(RAVELIN_PATH)
#error RVL_PROFILES, RVL_WORKBOOKS and RAVELIN_PATH must be given
#endif

namespace {

// Runs the program in a folder of the test's own, with its own settings
// store; Finish is pressed once the finish page shows, and the page's list
// is kept.
class ravelin_job : public test_dir {
public:
    // The services the program's main installs before it runs.
    ravelin_job() : home_dir(path())
    {
        std::filesystem::create_directory(file("config"));
        install_window_services();
    }

    // The settings store as the user left it: CSV files, comma, table
    // items, into a dump out.sql.
    void remember_csv_settings()
    {
        wizard_hooks hooks;
        ravelin_converter converter(converter_form::wizard, hooks);
        converter.from_xls = false;
        converter.direct = false;
        converter.n_comma = 2;
        converter.tab_name = L"items";
        converter.set_src(L"items.csv");
        converter.set_dest(L"out.sql");
    }

    int run(const std::string& command_line)
    {
        QTimer finisher;
        QObject::connect(&finisher, &QTimer::timeout, [this] {
            wizard_shell* shell = wizard_shell::try_instance();
            if (shell == nullptr || shell->current_page() == nullptr ||
                shell->current_page()->get_id() != finish_page_id)
                return;
            if (const auto* list = shell->findChild<QPlainTextEdit*>(); list != nullptr && list->isVisible())
                finish_list = list->toPlainText().toStdString();
            if (const auto* result = shell->findChild<QLabel*>(QStringLiteral("result")))
                finish_text = result->text().toStdString();
            if (const auto* heading = shell->findChild<QLabel*>(QStringLiteral("heading")))
                finish_heading = heading->text().toStdString();
            finish_size = shell->size();
            QTest::mouseClick(shell->button(wizard_button::finish), Qt::LeftButton);
        });
        finisher.start(20);
        const auto cwd = std::filesystem::current_path();
        std::filesystem::current_path(path());
        const int code = ravelin_run(command_line);
        std::filesystem::current_path(cwd);
        return code;
    }

    fake_ui port;
    std::string finish_list;
    std::string finish_text;
    std::string finish_heading;
    QSize finish_size;

private:
    // XDG_CONFIG_HOME in the folder, for the program and for remember_csv_settings.
    struct home {
        explicit home(const std::filesystem::path& root)
        {
            const char* old = std::getenv("XDG_CONFIG_HOME");
            if (old != nullptr)
                saved = old;
            ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        }
        ~home()
        {
            if (saved.empty())
                ::unsetenv("XDG_CONFIG_HOME");
            else
                ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
        }
        std::string saved;
    } home_dir;
};

const std::string notice_f3 = "Notice: Worksheet 'Data': 1 cell holds an error value (cell F3), written as NULL\n\n";

const char csv_job[] = "[Generic settings]\nsrc=items.csv\ndest=out.sql\nmode=0\n\n"
                       "[MS Excel settings]\nconvert from xls=0\nextract field names=1\n\n"
                       "[MySQL settings]\ndirect mode=0\n\n"
                       "[Type Mappings]\ntables:\n  - name: items\n    new_name: goods\n    fields:\n"
                       "      - name:note\n        status: deleted\n";

TEST(ravelin_quick_launch, a_csv_profile_gives_the_dump_morvante_gives)
{
    ravelin_job job;
    job.remember_csv_settings();
    std::filesystem::copy_file(std::string(RVL_PROFILES) + "/items.csv", job.file("items.csv"));
    test_dir::write(job.file("job.rvl"), csv_job);
    ASSERT_EQ(job.run("job.rvl"), 0);
    EXPECT_EQ(job.finish_list, "");
    EXPECT_EQ(job.finish_heading, "Conversion completed");
    // The size the interactive wizard opens with, not the smallest.
    EXPECT_GE(job.finish_size.width(), 800);
    EXPECT_GE(job.finish_size.height(), 520);
    const std::string ours = test_dir::read(job.file("out.sql"));

    // MORVANTE with the same settings store (character set, engine, dump options).
    test_dir console;
    std::filesystem::copy(job.file("config"), console.file("config"), std::filesystem::copy_options::recursive);
    std::filesystem::copy_file(std::string(RVL_PROFILES) + "/items.csv", console.file("items.csv"));
    test_dir::write(console.file("job.rvl"), csv_job);
    const program_result r = run_morvante(console, {"--profile=job.rvl", "--csv_delim=2", "--tab_name=items"});
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_NE(ours.find("CREATE TABLE `goods`"), std::string::npos) << ours;
    EXPECT_EQ(dmp_without_date(ours), dmp_without_date(test_dir::read(console.file("out.sql"))));
}

// A CSV run into table people (renamed persons, price retyped) saved as a
// profile, then another run into table huge with another delimiter: the
// profile still converts into persons, never into huge. A profile written
// before the table name and delimiter were kept takes its CSV file's name.
// A notice the console prints is listed on the finish page, and the exit
// code is the console's for the same profile; a log that lost its lines is
// not claimed as written.
TEST(ravelin_quick_launch, a_log_that_cannot_be_written_is_listed_and_not_claimed)
{
    if (::access("/dev/full", W_OK) != 0 || ::access("/dev", W_OK) != 0)
        GTEST_SKIP() << "/dev/full cannot be named as a log here";
    std::string profile = csv_job;
    profile.insert(profile.find("mode=0\n"), "logfile=/dev/full\n");
    ravelin_job job;
    job.remember_csv_settings();
    std::filesystem::copy_file(std::string(RVL_PROFILES) + "/items.csv", job.file("items.csv"));
    test_dir::write(job.file("job.rvl"), profile);
    const int code = job.run("job.rvl");
    EXPECT_NE(job.finish_list.find("Notice: Cannot write the log file '/dev/full'"), std::string::npos)
        << job.finish_list;
    EXPECT_EQ(job.finish_text.find("The log was written"), std::string::npos) << job.finish_text;

    test_dir console;
    std::filesystem::copy(job.file("config"), console.file("config"), std::filesystem::copy_options::recursive);
    std::filesystem::copy_file(std::string(RVL_PROFILES) + "/items.csv", console.file("items.csv"));
    test_dir::write(console.file("job.rvl"), profile);
    const program_result r = run_morvante(console, {"--profile=job.rvl", "--csv_delim=2", "--tab_name=items"});
    EXPECT_EQ(code, r.code) << r.out << r.err;
    EXPECT_EQ(job.finish_heading, r.code == 0 ? "Conversion completed" : "Conversion completed with errors");
}

// A query among a profile's selected tables is not converted: both programs
// name it so, and the run did not do all it was asked (exit 1).
TEST(ravelin_quick_launch, a_selected_query_is_named_as_not_converted_as_the_console_names_it)
{
    const std::string profile = "[Generic settings]\nsrc=book.xlsx\ndest=out.sql\nmode=0\n\n"
                                "[MS Excel settings]\nconvert from xls=1\nextract field names=1\n\n"
                                "[MySQL settings]\ndirect mode=0\n\n"
                                "[Selected Tables]\nData\nq1=SELECT * FROM [Data$]\n";
    const std::string notice = "Notice: The query 'q1' was not converted";
    ravelin_job job;
    std::filesystem::copy_file(std::string(RVL_WORKBOOKS) + "/sheetjs.xlsx", job.file("book.xlsx"));
    test_dir::write(job.file("job.rvl"), profile);
    EXPECT_EQ(job.run("job.rvl"), 1);
    EXPECT_NE(job.finish_list.find(notice), std::string::npos) << job.finish_list;
    EXPECT_EQ(job.finish_list.find("not found"), std::string::npos) << job.finish_list;
    EXPECT_EQ(job.finish_heading, "Conversion completed with errors");
    EXPECT_NE(test_dir::read(job.file("out.sql")).find("CREATE TABLE `Data`"), std::string::npos);

    test_dir console;
    std::filesystem::copy_file(std::string(RVL_WORKBOOKS) + "/sheetjs.xlsx", console.file("book.xlsx"));
    test_dir::write(console.file("job.rvl"), profile);
    const program_result r = run_morvante(console, {"--profile=job.rvl"});
    EXPECT_EQ(r.code, 1) << r.out << r.err;
    EXPECT_NE(r.out.find(notice), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "");
}

TEST(ravelin_quick_launch, a_csv_profile_reproduces_its_own_conversion_after_another_run)
{
    ravelin_job job;
    std::filesystem::copy_file(std::string(RVL_PROFILES) + "/items.csv", job.file("items.csv"));
    {
        wizard_hooks hooks;
        ravelin_converter saved(converter_form::wizard, hooks);
        saved.from_xls = false;
        saved.direct = false;
        saved.x_fnames = true;
        saved.n_comma = 2;
        saved.tab_name = L"people";
        saved.set_src(L"items.csv");
        saved.set_dest(L"out.sql");
        saved.set_mode(1);
        sql_field_type price;
        price.type = L"DECIMAL";
        price.precision = 8;
        price.scale = 3;
        saved.get_table_mutator2(L"people", L"persons")->update_field(L"price", L"price", price);
        ASSERT_TRUE(saved.store_profile(tk_to_unicode(job.file("saved.rvl"))));
    }
    {
        wizard_hooks hooks;
        ravelin_converter other(converter_form::wizard, hooks);
        other.n_comma = 0;
        other.tab_name = L"huge";
    }
    test_dir::write(job.file("old.rvl"), csv_job);
    struct profile_case {
        const char* profile;
        const char* table;
    };
    for (const profile_case& c : {profile_case{"saved.rvl", "CREATE TABLE `persons`"},
                                  profile_case{"old.rvl", "CREATE TABLE `goods`"}}) {
        SCOPED_TRACE(c.profile);
        std::filesystem::remove(job.file("out.sql"));
        ASSERT_EQ(job.run(c.profile), 0);
        EXPECT_EQ(job.finish_list, "");
        const std::string dump = test_dir::read(job.file("out.sql"));
        EXPECT_NE(dump.find(c.table), std::string::npos) << dump;
        EXPECT_EQ(dump.find("huge"), std::string::npos) << dump;
        if (std::string(c.profile) == "saved.rvl") {
            EXPECT_NE(dump.find("`price` DECIMAL(8,3)"), std::string::npos) << dump;
            EXPECT_NE(dump.find("'Washer'"), std::string::npos) << "read with its own delimiter: " << dump;
        }
    }
}

TEST(ravelin_quick_launch, a_profile_that_does_not_load_ends_the_program_before_the_run)
{
    struct failure_case {
        const char* name;
        const char* command_line;
        const char* profile;  // written as job.rvl when not null
        box_kind box;
        const char* message;
    };
    const failure_case cases[] = {
        {"missing", "missing.rvl", nullptr, box_kind::error, "Profile 'missing.rvl' does not exist."},
        {"quoted path", "\"job.rvl\"", csv_job, box_kind::error, "Profile '\"job.rvl\"' does not exist."},
        {"Type Mappings out of place", "job.rvl",
         "[Generic settings]\nsrc=items.csv\ndest=out.sql\n[MySQL settings]\ndirect mode=0\n"
         "[Type Mappings]\ntables:\n  - name: items\n      - name:id\n",
         box_kind::error, "Profile job.rvl cannot be used: this line of its \"Type Mappings\" is out of place"},
        {"a line before any section", "job.rvl", "src=items.csv\n[Generic settings]\ndest=out.sql\n",
         box_kind::error,
         "The profile job.rvl cannot be read: line 1 comes before any [section] line, so it is not a profile: "
         "src=items.csv."},
        {"a type no server has", "job.rvl",
         "[Generic settings]\nsrc=items.csv\ndest=out.sql\n[MySQL settings]\ndirect mode=0\n"
         "[MS Excel settings]\nconvert from xls=0\nextract field names=1\ncsv table name=items\n"
         "[Type Mappings]\ntables:\n  - name: items\n    fields:\n      - name:price\n        type: DEC IMAL\n",
         box_kind::error, "Profile job.rvl cannot be used"},
    };
    for (const failure_case& c : cases) {
        SCOPED_TRACE(c.name);
        ravelin_job job;
        job.remember_csv_settings();
        std::filesystem::copy_file(std::string(RVL_PROFILES) + "/items.csv", job.file("items.csv"));
        test_dir::write(job.file("out.sql"), "the old dump");
        if (c.profile != nullptr)
            test_dir::write(job.file("job.rvl"), c.profile);
        const std::string settings = test_dir::read(job.file("config/Brenvault/Tessaline.reg"));
        job.port.expect_box(c.box, c.message);
        EXPECT_EQ(job.run(c.command_line), 255);
        EXPECT_EQ(job.port.shown.back().caption, "Tessaline 7.1 Error");  // the program's title, once
        EXPECT_EQ(test_dir::read(job.file("out.sql")), "the old dump");
        EXPECT_EQ(test_dir::read(job.file("config/Brenvault/Tessaline.reg")), settings);
    }
}

TEST(ravelin_quick_launch, a_workbook_reaches_the_live_server)
{
    RVL_NEED_TEST_SERVER();
    const server_settings s = *test_server_settings();
    const std::string name = "rvl_wizard_book_" + std::to_string(::getpid());
    test_connection().execute("DROP DATABASE IF EXISTS `" + name + "`");
    ravelin_job job;
    std::filesystem::copy_file(std::string(RVL_WORKBOOKS) + "/sheetjs.xlsx", job.file("sheetjs.xlsx"));
    test_dir::write(job.file("job.rvl"), "[Generic settings]\nsrc=sheetjs.xlsx\ndest=" + name +
                                             "\nmode=0\n[MS Excel settings]\nconvert from xls=1\n"
                                             "extract field names=1\n[Selected Tables]\nData\n"
                                             "[MySQL settings]\ndirect mode=1\nhost=127.0.0.1\nport=" +
                                             std::to_string(s.port) + "\nuser=" + s.user +
                                             "\npassword=" + s.password + "\n");
    ASSERT_EQ(job.run("job.rvl"), 0);
    EXPECT_EQ(job.finish_list, notice_f3.substr(0, notice_f3.size() - 2));  // the console prints it too
    EXPECT_EQ(job.finish_heading, "Conversion completed");
    {
        test_connection db(name);
        EXPECT_EQ(db.rows("SELECT table_name FROM information_schema.tables WHERE table_schema = DATABASE()"),
                  (std::vector<std::vector<std::string>>{{"Data"}}));
        EXPECT_FALSE(db.rows("SELECT * FROM `Data`").empty());
    }
    test_connection().execute("DROP DATABASE `" + name + "`");
}

// sheetjs.xlsx with a type its Data worksheet cannot take.
void write_failing_book(const ravelin_job& job)
{
    std::filesystem::copy_file(std::string(RVL_WORKBOOKS) + "/sheetjs.xlsx", job.file("sheetjs.xlsx"));
    test_dir::write(job.file("job.rvl"), "[Generic settings]\nsrc=sheetjs.xlsx\ndest=out.sql\nmode=0\n"
                                         "[MySQL settings]\ndirect mode=0\n"
                                         "[MS Excel settings]\nconvert from xls=1\nextract field names=1\n"
                                         "[Type Mappings]\ntables:\n  - name: Data\n    fields:\n"
                                         "      - name:Text\n        type: INT\n");
}

const std::string failed_data = "Data: Data conversion is not supported for given type mapping: the value "
                                "'caf\xC3\xA9' of the field 'Text' (INT), record #1. No row of the table is written.";

// The work file a run kept beside out.sql ("out.sql.~<pid>.<n>.part"), or
// empty when there is none.
std::string kept_work_file(const test_dir& dir)
{
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("out.sql.~") && name.ends_with(".part"))
            return name;
    }
    return "";
}

TEST(ravelin_quick_launch, a_failing_worksheet_asks_and_the_finish_page_lists_it)
{
    struct answer_case {
        const char* name;
        const char* button;
        bool tick;
        bool other_converted;
        int code;  // the console's for the same outcome
        const char* heading;
    };
    // An aborted run before any row leaves no dump and no work file.
    const answer_case cases[] = {
        {"Continue", "Continue", false, true, 1, "Conversion completed with errors"},
        {"Continue, and do not show again", "Continue", true, true, 1, "Conversion completed with errors"},
        {"Abort ends the run", "Abort", false, false, 255, "Conversion failed"},
    };
    for (const answer_case& c : cases) {
        SCOPED_TRACE(c.name);
        ravelin_job job;
        write_failing_book(job);
        std::string text;
        job.port.expect_dialog([&](QDialog& d) {
            auto& dialog = dynamic_cast<dlg_error_continue&>(d);
            text = dialog.findChild<QLabel*>("text")->text().toStdString();
            if (c.tick)
                QTest::mouseClick(dialog.dont_show_box, Qt::LeftButton);
            for (QPushButton* b : dialog.findChildren<QPushButton*>())
                if (b->text() == c.button)
                    QTest::mouseClick(b, Qt::LeftButton);
            return dialog.result();
        });
        ASSERT_EQ(job.run("job.rvl"), c.code);
        EXPECT_EQ(job.finish_heading, c.heading);
        EXPECT_EQ(text, failed_data);
        EXPECT_EQ(kept_work_file(job), "");
        EXPECT_EQ(job.finish_list, notice_f3 + failed_data);
        EXPECT_EQ(std::filesystem::exists(job.file("out.sql")), c.other_converted);
        if (c.code == 1) {
            EXPECT_NE(job.finish_text.find("to its end, with the errors listed below: each one names a table, "
                                           "record or value that was left out or changed."),
                      std::string::npos)
                << job.finish_text;
        }
        if (c.other_converted) {
            EXPECT_NE(test_dir::read(job.file("out.sql")).find("INSERT INTO `Other sheet`"), std::string::npos);
        }
    }
}

// A profile that converts the CSV file `table`.csv, with its header, into
// the table of that name of the test server's database `database`.
std::string server_csv_job(const std::string& table, const std::string& database, int mode)
{
    const server_settings s = *test_server_settings();
    return "[Generic settings]\nsrc=" + table + ".csv\ndest=" + database + "\nmode=" + std::to_string(mode) +
           "\n[MS Excel settings]\nconvert from xls=0\nextract field names=1\ncsv table name=" + table +
           "\ncsv delimiter=2\n[MySQL settings]\ndirect mode=1\nhost=127.0.0.1\nport=" + std::to_string(s.port) +
           "\nuser=" + s.user + "\npassword=" + s.password + "\n";
}

// big.csv of 200000 rows and a profile job.rvl that converts it into out.sql.
void write_big_job(ravelin_job& job)
{
    {
        std::ofstream csv(job.file("big.csv"));
        csv << "id,name,amount\n";
        for (int i = 0; i < 200000; ++i)
            csv << i << ",name " << i << "," << i * 3 << ".25\n";
    }
    test_dir::write(job.file("job.rvl"), "[Generic settings]\nsrc=big.csv\ndest=out.sql\nmode=0\n"
                                         "[MS Excel settings]\nconvert from xls=0\nextract field names=1\n"
                                         "csv table name=big\ncsv delimiter=2\n"
                                         "[MySQL settings]\ndirect mode=0\n");
}

TEST(ravelin_quick_launch, cancel_stops_a_long_run_and_the_dump_stays_loadable)
{
    ravelin_job job;
    write_big_job(job);
    // Cancel once rows are flowing; Yes to the question.
    job.port.expect_box(box_kind::question, "Do you want to stop the conversion and exit the wizard?", true);
    // What is left, and where: the full path of the dump's work file.
    job.port.expect_box(box_kind::message, "The conversion was interrupted.\nIt stopped in table 'big' after ");
    QTimer canceller;
    auto pressed = std::chrono::steady_clock::time_point();
    QObject::connect(&canceller, &QTimer::timeout, [&] {
        const ravelin_converter* converter = tk_singleton<ravelin_converter>::try_instance();
        wizard_shell* shell = wizard_shell::try_instance();
        if (converter == nullptr || shell == nullptr || converter->rows_done < 1000 ||
            pressed != std::chrono::steady_clock::time_point())
            return;
        pressed = std::chrono::steady_clock::now();
        QTest::mouseClick(shell->button(wizard_button::cancel), Qt::LeftButton);
    });
    canceller.start(5);
    ASSERT_EQ(job.run("job.rvl"), 255);  // interrupted, as the console says it
    ASSERT_NE(pressed, std::chrono::steady_clock::time_point()) << "the run ended before Cancel";
    EXPECT_LT(std::chrono::steady_clock::now() - pressed, std::chrono::seconds(5));
    // What was written stays, under its writing name; the user is told where.
    EXPECT_FALSE(std::filesystem::exists(job.file("out.sql")));
    const std::string work_file = kept_work_file(job);
    ASSERT_FALSE(work_file.empty());
    EXPECT_NE(job.port.shown.back().text.find("The dump written so far is kept in " + job.file(work_file)),
              std::string::npos)
        << job.port.shown.back().text;
    const std::string dump = test_dir::read(job.file(work_file));
    EXPECT_NE(dump.find("INSERT INTO"), std::string::npos);
    EXPECT_EQ(dump.find("199999,"), std::string::npos) << "the run went to its end";
    // The count the stop message gives is the rows the dump holds.
    const std::string said = job.port.shown.back().text;
    const size_t after = said.find(" after ");
    ASSERT_NE(after, std::string::npos) << said;
    const uint64_t rows = std::stoull(said.substr(after + 7));
    EXPECT_GE(rows, 1000u) << said;
    EXPECT_NE(dump.find("'name " + std::to_string(rows - 1) + "'"), std::string::npos);
    EXPECT_EQ(dump.find("'name " + std::to_string(rows) + "'"), std::string::npos);
    if (!test_server_settings())
        return;
    test_database loaded;
    std::string output;
    EXPECT_EQ(dmp_load(job.file(work_file), loaded.name(), output), 0) << output;
}

// A connection the server's end cuts mid-run: the finish page says the
// conversion failed and what the database keeps, never that the data was
// written; the exit code is the console's, 255.
TEST(ravelin_quick_launch, a_connection_lost_mid_run_is_a_failed_conversion)
{
    RVL_NEED_TEST_SERVER();
    const std::string name = "rvl_wizard_lost_" + std::to_string(::getpid());
    test_connection().execute("DROP DATABASE IF EXISTS `" + name + "`");
    ravelin_job job;
    write_big_job(job);
    test_dir::write(job.file("job.rvl"), server_csv_job("big", name, 1));
    job.port.expect_box(box_kind::error, "The connection to the MySQL server was lost");
    QTimer killer;
    bool killed = false;
    QObject::connect(&killer, &QTimer::timeout, [&] {
        const ravelin_converter* converter = tk_singleton<ravelin_converter>::try_instance();
        if (killed || converter == nullptr || converter->rows_done < 1000)
            return;
        killed = true;
        test_connection admin;
        for (const auto& row : admin.rows("SELECT id FROM information_schema.processlist WHERE db = '" + name + "'"))
            admin.execute("KILL CONNECTION " + row[0]);
    });
    killer.start(5);
    EXPECT_EQ(job.run("job.rvl"), 255);
    ASSERT_TRUE(killed) << "the run ended before the connection was cut";
    EXPECT_EQ(job.finish_heading, "Conversion failed");
    // The answer to the rows in flight was lost with the connection: the
    // page does not claim to know how many the server kept.
    EXPECT_NE(job.finish_text.find("Database '" + name + "' keeps what was written before the end.\nWritten: database '" +
                                   name + "', table '" + name + ".big' ("),
              std::string::npos)
        << job.finish_text;
    EXPECT_NE(job.finish_text.find(" rows written before the failure).\n"), std::string::npos) << job.finish_text;
    EXPECT_EQ(job.finish_text.find("had been read"), std::string::npos) << job.finish_text;
    EXPECT_EQ(job.finish_text.find("The data was written into"), std::string::npos) << job.finish_text;
    EXPECT_NE(job.finish_list.find("The connection to the MySQL server was lost"), std::string::npos);
    test_connection().execute("DROP DATABASE IF EXISTS `" + name + "`");
}

// Cancel while the rows of a table it replaces go in: the old table stays
// whole, and the stop's message says so instead of claiming its rows so far.
TEST(ravelin_quick_launch, cancel_while_replacing_a_table_leaves_the_old_one)
{
    RVL_NEED_TEST_SERVER();
    const std::string name = "rvl_wizard_keep_" + std::to_string(::getpid());
    test_connection().execute("DROP DATABASE IF EXISTS `" + name + "`");
    test_connection().execute("CREATE DATABASE `" + name + "`");
    test_connection(name).execute("CREATE TABLE big (x INT)");
    test_connection(name).execute("INSERT INTO big VALUES (1), (2)");
    ravelin_job job;
    write_big_job(job);
    test_dir::write(job.file("job.rvl"), server_csv_job("big", name, 1));
    job.port.expect_box(box_kind::question, "Do you want to stop the conversion and exit the wizard?", true);
    job.port.expect_box(box_kind::message, "The conversion was interrupted.\nIt stopped in table 'big' after ");
    QTimer canceller;
    bool pressed = false;
    QObject::connect(&canceller, &QTimer::timeout, [&] {
        const ravelin_converter* converter = tk_singleton<ravelin_converter>::try_instance();
        wizard_shell* shell = wizard_shell::try_instance();
        if (converter == nullptr || shell == nullptr || converter->rows_done < 1000 || pressed)
            return;
        pressed = true;
        QTest::mouseClick(shell->button(wizard_button::cancel), Qt::LeftButton);
    });
    canceller.start(5);
    ASSERT_EQ(job.run("job.rvl"), 255);
    ASSERT_TRUE(pressed) << "the run ended before Cancel";
    EXPECT_NE(job.port.shown.back().text.find("the table it stopped in was left as it was."), std::string::npos)
        << job.port.shown.back().text;
    EXPECT_EQ(test_connection(name).rows("SELECT x FROM big ORDER BY x"),
              (std::vector<std::vector<std::string>>{{"1"}, {"2"}}));
    EXPECT_EQ(test_connection(name).rows("SHOW TABLES").size(), 1u);
    test_connection().execute("DROP DATABASE IF EXISTS `" + name + "`");
}

// A merge the user aborts at a refused row: the finish page says what the
// table holds, the rows the server took, not how many were read.
TEST(ravelin_quick_launch, an_aborted_merge_says_what_the_table_holds)
{
    RVL_NEED_TEST_SERVER();
    test_database db;
    test_connection(db.name()).execute("CREATE TABLE t (id INT, v INT, CHECK (v > 0))");
    test_connection(db.name()).execute("INSERT INTO t VALUES (0, 5)");
    ravelin_job job;
    test_dir::write(job.file("t.csv"), "id,v\n1,1\n2,-1\n3,3\n");
    test_dir::write(job.file("job.rvl"), server_csv_job("t", db.name(), 3));
    job.port.expect_dialog([&](QDialog& d) {
        auto& dialog = dynamic_cast<dlg_error_continue&>(d);
        for (QPushButton* b : dialog.findChildren<QPushButton*>())
            if (b->text() == "Abort")
                QTest::mouseClick(b, Qt::LeftButton);
        return dialog.result();
    });
    EXPECT_EQ(job.run("job.rvl"), 255);
    EXPECT_EQ(job.finish_heading, "Conversion failed");
    EXPECT_EQ(test_connection(db.name()).rows("SELECT COUNT(*) FROM t")[0][0], "3");
    EXPECT_NE(job.finish_text.find("Database '" + db.name() + "' keeps what was written before the end.\nWritten: "
                                   "table '" + db.name() + ".t' (2 rows appended before the failure)."),
              std::string::npos)
        << job.finish_text;
    EXPECT_EQ(job.finish_text.find("had been read"), std::string::npos) << job.finish_text;
}

// Cancel in a CSV run into the server: the one table is named, with no
// tables "converted before" it.
TEST(ravelin_quick_launch, cancel_of_a_csv_run_names_the_one_table_the_database_keeps)
{
    RVL_NEED_TEST_SERVER();
    const std::string name = "rvl_wizard_stop_" + std::to_string(::getpid());
    test_connection().execute("DROP DATABASE IF EXISTS `" + name + "`");
    ravelin_job job;
    write_big_job(job);
    test_dir::write(job.file("job.rvl"), server_csv_job("big", name, 1));
    job.port.expect_box(box_kind::question, "Do you want to stop the conversion", true);
    job.port.expect_box(box_kind::message, "The conversion was interrupted.");
    QTimer canceller;
    bool pressed = false;
    QObject::connect(&canceller, &QTimer::timeout, [&] {
        const ravelin_converter* converter = tk_singleton<ravelin_converter>::try_instance();
        wizard_shell* shell = wizard_shell::try_instance();
        if (pressed || converter == nullptr || shell == nullptr || converter->rows_done < 1000)
            return;
        pressed = true;
        QTest::mouseClick(shell->button(wizard_button::cancel), Qt::LeftButton);
    });
    canceller.start(5);
    EXPECT_EQ(job.run("job.rvl"), 255);
    ASSERT_TRUE(pressed) << "the run ended before Cancel";
    const std::string told = job.port.shown.back().text;
    EXPECT_NE(told.find("Database '" + name + "' keeps what was written before the stop: table 'big' with its "
                        "rows so far."),
              std::string::npos)
        << told;
    EXPECT_EQ(told.find("converted before"), std::string::npos) << told;
    test_connection().execute("DROP DATABASE IF EXISTS `" + name + "`");
}

// A source that changed while it was converted: the notice the console
// counts as a failure is listed, and the outcome and exit code follow it.
TEST(ravelin_quick_launch, a_source_changed_during_the_run_completes_with_errors)
{
    ravelin_job job;
    write_big_job(job);
    QTimer changer;
    bool changed = false;
    QObject::connect(&changer, &QTimer::timeout, [&] {
        const ravelin_converter* converter = tk_singleton<ravelin_converter>::try_instance();
        if (changed || converter == nullptr || converter->rows_done < 1000)
            return;
        changed = true;
        std::ofstream(job.file("big.csv"), std::ios::app) << "200000,late,1\n";
    });
    changer.start(5);
    EXPECT_EQ(job.run("job.rvl"), 1);
    ASSERT_TRUE(changed) << "the run ended before the file changed";
    EXPECT_EQ(job.finish_heading, "Conversion completed with errors");
    EXPECT_NE(job.finish_list.find("Notice: The source file 'big.csv' changed while it was converted"),
              std::string::npos)
        << job.finish_list;
    EXPECT_EQ(test_dir::read(job.file("out.sql")).find("'late'"), std::string::npos);
}

// While Cancel asks, the run holds at its next record; No lets it go on to
// its end, which the finish page reports as a success.
TEST(ravelin_quick_launch, cancel_holds_the_run_while_it_asks_and_no_resumes_it)
{
    ravelin_job job;
    write_big_job(job);
    uint64_t rows_asked = 0, rows_later = 0;
    job.port.expect_box(box_kind::question, "Do you want to stop the conversion and exit the wizard?", false, [&] {
        const ravelin_converter& converter = tk_singleton<ravelin_converter>::instance();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        rows_asked = converter.rows_done.load();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        rows_later = converter.rows_done.load();
    });
    QTimer canceller;
    bool pressed = false;
    QObject::connect(&canceller, &QTimer::timeout, [&] {
        const ravelin_converter* converter = tk_singleton<ravelin_converter>::try_instance();
        wizard_shell* shell = wizard_shell::try_instance();
        if (converter == nullptr || shell == nullptr || converter->rows_done < 1000 || pressed)
            return;
        pressed = true;
        QTest::mouseClick(shell->button(wizard_button::cancel), Qt::LeftButton);
    });
    canceller.start(5);
    ASSERT_EQ(job.run("job.rvl"), 0);
    ASSERT_TRUE(pressed) << "the run ended before Cancel";
    EXPECT_EQ(rows_asked, rows_later) << "the run went on while the question was open";
    EXPECT_LT(rows_later, 200000u);
    EXPECT_EQ(job.finish_list, "");
    EXPECT_NE(job.finish_text.find("successfully"), std::string::npos) << job.finish_text;
    EXPECT_NE(test_dir::read(job.file("out.sql")).find("199999,"), std::string::npos);
}

// A run that ended before Yes could stop it is no interrupted run: the user
// is told so and the finish page gives its result.
TEST(ravelin_quick_launch, a_run_that_ended_while_cancel_asked_is_reported_as_ended)
{
    ravelin_job job;
    job.remember_csv_settings();
    std::filesystem::copy_file(std::string(RVL_PROFILES) + "/items.csv", job.file("items.csv"));
    test_dir::write(job.file("job.rvl"), csv_job);
    job.port.expect_box(box_kind::question, "Do you want to stop the conversion and exit the wizard?", true);
    job.port.expect_box(box_kind::message, "The conversion ended before it could be stopped.");
    QTimer canceller;
    bool held = false, pressed = false;
    QObject::connect(&canceller, &QTimer::timeout, [&] {
        const ravelin_converter* converter = tk_singleton<ravelin_converter>::try_instance();
        wizard_shell* shell = wizard_shell::try_instance();
        if (converter == nullptr || shell == nullptr || shell->current_page() == nullptr ||
            shell->current_page()->get_id() != progress_page_id || pressed)
            return;
        // The progress page would move on at its next tick: it is held back
        // until Cancel was pressed on a run that has ended.
        if (!held) {
            shell->kill_timer();
            held = true;
        }
        if (!converter->done.load())
            return;
        pressed = true;
        QTest::mouseClick(shell->button(wizard_button::cancel), Qt::LeftButton);
    });
    canceller.start(1);
    ASSERT_EQ(job.run("job.rvl"), 0);
    ASSERT_TRUE(pressed);
    EXPECT_EQ(job.finish_list, "");
    EXPECT_NE(job.finish_text.find("successfully"), std::string::npos) << job.finish_text;
    EXPECT_NE(job.finish_text.find("The dump was written to " + job.file("out.sql")), std::string::npos)
        << job.finish_text;
    EXPECT_NE(test_dir::read(job.file("out.sql")).find("CREATE TABLE `goods`"), std::string::npos);
}

// A profile whose source is a named pipe no writer opened: the run waits
// for its bytes in the window, and Cancel stops it there.
TEST(ravelin_quick_launch, cancel_stops_a_run_waiting_for_a_named_pipe)
{
    ravelin_job job;
    ASSERT_EQ(::mkfifo(job.file("items.csv").c_str(), 0600), 0);
    test_dir::write(job.file("job.rvl"), csv_job);
    job.port.expect_box(box_kind::question, "Do you want to stop the conversion", true);
    job.port.expect_box(box_kind::message, "The conversion was interrupted.");
    QTimer canceller;
    auto pressed = std::chrono::steady_clock::time_point();
    int ticks = 0;
    QObject::connect(&canceller, &QTimer::timeout, [&] {
        wizard_shell* shell = wizard_shell::try_instance();
        if (shell == nullptr || shell->current_page() == nullptr ||
            shell->current_page()->get_id() != progress_page_id || ++ticks < 30 ||
            pressed != std::chrono::steady_clock::time_point())
            return;
        pressed = std::chrono::steady_clock::now();
        QTest::mouseClick(shell->button(wizard_button::cancel), Qt::LeftButton);
    });
    canceller.start(10);
    EXPECT_EQ(job.run("job.rvl"), 255);
    ASSERT_NE(pressed, std::chrono::steady_clock::time_point());
    EXPECT_LT(std::chrono::steady_clock::now() - pressed, std::chrono::seconds(5));
    EXPECT_FALSE(std::filesystem::exists(job.file("out.sql")));
}

// Cancel while a statement of the run waits on the server (another session
// holds the table it appends to): the statement is ended there, the run cleans up through
// its connection, and the window is free again within about a second.
TEST(ravelin_quick_launch, cancel_ends_a_wait_on_the_server)
{
    RVL_NEED_TEST_SERVER();
    const std::string name = "rvl_wizard_held_" + std::to_string(::getpid());
    test_connection().execute("DROP DATABASE IF EXISTS `" + name + "`");
    test_connection().execute("CREATE DATABASE `" + name + "`");
    test_connection(name).execute("CREATE TABLE items (id INT PRIMARY KEY, name VARCHAR(10))");
    test_connection(name).execute("INSERT INTO items VALUES (1, 'old')");
    test_connection holder(name);
    holder.execute("LOCK TABLES items WRITE");
    ravelin_job job;
    test_dir::write(job.file("items.csv"), "id,name\n2,ab\n3,x\n");
    test_dir::write(job.file("job.rvl"), server_csv_job("items", name, 3));
    job.port.expect_box(box_kind::question, "Do you want to stop the conversion", true);
    job.port.expect_box(box_kind::message, "The conversion was interrupted.");
    const std::string waiting = "SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE DB = '" + name +
                                "' AND STATE LIKE 'Waiting for%'";
    QTimer canceller;
    auto pressed = std::chrono::steady_clock::time_point();
    QObject::connect(&canceller, &QTimer::timeout, [&] {
        wizard_shell* shell = wizard_shell::try_instance();
        if (shell == nullptr || shell->current_page() == nullptr ||
            shell->current_page()->get_id() != progress_page_id ||
            pressed != std::chrono::steady_clock::time_point() || test_connection().rows(waiting)[0][0] == "0")
            return;
        pressed = std::chrono::steady_clock::now();
        QTest::mouseClick(shell->button(wizard_button::cancel), Qt::LeftButton);
    });
    canceller.start(50);
    EXPECT_EQ(job.run("job.rvl"), 255);
    ASSERT_NE(pressed, std::chrono::steady_clock::time_point());
    EXPECT_LT(std::chrono::steady_clock::now() - pressed, std::chrono::seconds(5));
    // Nothing of the run waits on the server any more, and nothing was left.
    EXPECT_EQ(test_connection().rows(waiting)[0][0], "0");
    holder.execute("UNLOCK TABLES");
    EXPECT_EQ(test_connection(name).rows("SHOW TABLES"), (std::vector<std::vector<std::string>>{{"items"}}));
    EXPECT_EQ(test_connection(name).rows("SELECT id, name FROM items"),
              (std::vector<std::vector<std::string>>{{"1", "old"}}));
    test_connection().execute("DROP DATABASE IF EXISTS `" + name + "`");
}

// The real program, as a user starts it.
program_result run_ravelin(const test_dir& dir, const std::vector<std::string>& args,
                           const std::vector<std::string>& unset, const char* platform)
{
    return run_program(RAVELIN_PATH, dir, args, {{"QT_QPA_PLATFORM", platform}}, unset);
}

TEST(ravelin_program, without_a_display_it_says_so_and_ends_with_255)
{
    test_dir dir;
    test_dir::write(dir.file("out.sql"), "the old dump");
    const program_result r = run_ravelin(dir, {"job.rvl"}, {"DISPLAY", "WAYLAND_DISPLAY"}, "xcb");
    EXPECT_EQ(r.code, 255);
    EXPECT_NE(r.err.find("Failed to initialize GUI library\n"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("config")));
}

} // namespace
