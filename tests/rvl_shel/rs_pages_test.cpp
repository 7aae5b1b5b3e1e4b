// The wizard's pages driven as a user drives them: a CSV file walks every
// page into a dump that is MORVANTE's; Next and Back lead where they should
// for both sources and destinations; an existing destination is only
// recorded on the pages and prepared by the run; the pages store what they
// show.
#include "GUI2/g_finish.hpp"
#include "GUI2/g_wiz_sh.hpp"
#include "SQL/dmp_help.hpp"
#include "common/dmp_form.hpp"
#include "common/map_list.hpp"
#include "common/over_dlg.hpp"
#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"
#include "UDB/udb_prof.hpp"
#include "con_help.hpp"
#include "config_home.hpp"
#include "fake_ui.hpp"
#include "rvl_conv/rvl_conv.hpp"
#include "rvl_shel/rs_dlg.hpp"
#include "rvl_shel/rs_errh.hpp"
#include "rvl_shel/rs_finish.hpp"
#include "rvl_shel/rs_hooks.hpp"
#include "rvl_shel/rs_pages.hpp"
#include "rvl_shel/rs_prog.hpp"
#include "rvl_shel/rs_start.hpp"
#include "server_env.hpp"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QTreeWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#if !defined(RVL_PROFILES) || !defined(RVL_WORKBOOKS) || !defined(RVL_TYPES)
#error RVL_PROFILES, RVL_WORKBOOKS and RVL_TYPES must be given
#endif

namespace {

void click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

// Works in a folder of its own, with its own settings store.
struct in_folder {
    config_home home;
    test_dir dir;
    std::filesystem::path cwd = std::filesystem::current_path();
    in_folder() { std::filesystem::current_path(dir.path()); }
    ~in_folder() { std::filesystem::current_path(cwd); }
    void copy(const std::string& from, const char* name) const
    {
        std::filesystem::copy_file(from, dir.file(name));
    }
};

// The interactive wizard as ravelin builds it, shown on its first page.
struct wizard_fixture : in_folder {
    tk_logger logger{nullptr, false, 3, false};
    fake_ui port;
    wizard_error_handler errors;
    wizard_hooks hooks;
    ravelin_converter converter{converter_form::wizard, hooks};
    interactive_pages pages;
    progress_page progress;
    finish_page finish{progress};
    wizard_shell shell{ravelin_converter::get_title()};  // hands the pages back as it closes

    wizard_fixture()
    {
        pages.add_to(shell, converter);
        shell.add_page(progress);
        shell.add_page(finish);
    }
    ~wizard_fixture() { progress.stop_and_wait(); }
    void start()
    {
        ASSERT_TRUE(shell.start());
        shell.show();
    }
    // Started and made the active window, as under a window manager: keys
    // reach the focus and mnemonics work.
    bool start_active()
    {
        start();
        shell.activateWindow();
        return QTest::qWaitForWindowActive(&shell);
    }
    uint32_t current() const { return shell.current_page() != nullptr ? shell.current_page()->get_id() : 0; }
    void next() { click(shell.button(wizard_button::next)); }
    void back() { click(shell.button(wizard_button::back)); }
    // Welcome page: the kinds of source and destination, then Next.
    void choose(bool workbook, bool server)
    {
        pages.welcome.source->setCurrentIndex(workbook ? 0 : 1);
        pages.welcome.destination->setCurrentIndex(server ? 0 : 1);
        next();
    }
    void files(const char* src, const char* dest)
    {
        pages.file.src->setText(QString::fromUtf8(src));
        pages.file.dest->setText(QString::fromUtf8(dest));
    }
    // items.csv into out.sql, from the welcome page to the delimiter page.
    void csv_to_delimiters()
    {
        choose(false, false);
        next();
        files("items.csv", "out.sql");
        next();
        pages.conversion.table->setText(QStringLiteral("items"));
        next();
    }
    // book.xlsx into a dump, from the welcome page to the worksheets page.
    void workbook_to_sheets(const char* dump)
    {
        choose(true, false);
        next();
        files("book.xlsx", dump);
        next();
        next();
    }
    bool wait_for_finish()
    {
        return QTest::qWaitFor([this] { return current() == finish_page_id; }, 20000);
    }
    std::string finish_text() const
    {
        return finish.findChild<QLabel*>(QStringLiteral("result"))->text().toStdString();
    }
    std::string finish_heading() const
    {
        return finish.findChild<QLabel*>(QStringLiteral("heading"))->text().toStdString();
    }
};

TEST(ravelin_pages, a_csv_file_walks_every_page_into_the_dump_morvante_writes)
{
    in_folder job;
    job.copy(std::string(RVL_PROFILES) + "/items.csv", "items.csv");
    fake_ui port;
    install_window_services();
    std::vector<uint32_t> seen;
    std::string finish_list = "not shown";
    // The user, page by page, as each one shows.
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        wizard_shell* shell = wizard_shell::try_instance();
        if (shell == nullptr || shell->current_page() == nullptr)
            return;
        wizard_page_base* page = shell->current_page();
        if (!seen.empty() && seen.back() == page->get_id())
            return;
        seen.push_back(page->get_id());
        auto find = [page](const char* name) { return page->findChild<QWidget*>(QString::fromUtf8(name)); };
        switch (page->get_id()) {
        case welcome_page_id:
            static_cast<QComboBox*>(find("source"))->setCurrentIndex(1);
            static_cast<QComboBox*>(find("destination"))->setCurrentIndex(1);
            break;
        case dump_page_id:
            static_cast<QRadioButton*>(find("lf"))->setChecked(true);
            click(static_cast<QPushButton*>(find("ins_comments")));
            break;
        case file_page_id:
            static_cast<QLineEdit*>(find("src"))->setText(QStringLiteral("items.csv"));
            static_cast<QLineEdit*>(find("dest"))->setText(QStringLiteral("out.sql"));
            break;
        case conversion_page_id:
            static_cast<QLineEdit*>(find("table"))->setText(QStringLiteral("items"));
            break;
        case delim_page_id:
            static_cast<QRadioButton*>(find("comma"))->setChecked(true);
            break;
        case progress_page_id:
            return;
        case finish_page_id:
            finish_list = shell->findChild<QPlainTextEdit*>()->toPlainText().toStdString();
            click(shell->button(wizard_button::finish));
            return;
        }
        click(shell->button(wizard_button::next));
    });
    user.start(20);
    ASSERT_EQ(ravelin_run(""), 0);
    EXPECT_EQ(seen, (std::vector<uint32_t>{welcome_page_id, dump_page_id, file_page_id, conversion_page_id,
                                           delim_page_id, progress_page_id, finish_page_id}));
    EXPECT_EQ(finish_list, "");
    const std::string ours = test_dir::read(job.dir.file("out.sql"));
    EXPECT_NE(ours.find("CREATE TABLE `items`"), std::string::npos) << ours;
    EXPECT_EQ(ours.find("\r\n"), std::string::npos);

    // MORVANTE with the settings ravelin stored (character set, engine, dump
    // options) and the same source, table and delimiter.
    test_dir console;
    std::filesystem::copy(job.home.path(), console.file("config"), std::filesystem::copy_options::recursive);
    std::filesystem::copy_file(std::string(RVL_PROFILES) + "/items.csv", console.file("items.csv"));
    test_dir::write(console.file("job.rvl"), "[Generic settings]\nsrc=items.csv\ndest=out.sql\n"
                                             "[MS Excel settings]\nconvert from xls=0\nextract field names=1\n"
                                             "[MySQL settings]\ndirect mode=0\n");
    const program_result r = run_morvante(console, {"--profile=job.rvl", "--csv_delim=2", "--tab_name=items"});
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_EQ(dmp_without_date(ours), dmp_without_date(test_dir::read(console.file("out.sql"))));
}

TEST(ravelin_pages, next_and_back_lead_where_the_pages_say)
{
    struct route_case {
        const char* name;
        bool workbook;
        bool server;
        const char* clicks;  // after the welcome page's Next: N next, B back
        std::vector<uint32_t> pages_after;
    };
    // Without a server the login page stays; the routes through it are
    // taken by the server cases below.
    const route_case cases[] = {
        {"CSV to a dump", false, false, "NNNBBBB",
         {file_page_id, conversion_page_id, delim_page_id, file_page_id, dump_page_id, welcome_page_id,
          welcome_page_id}},
        {"CSV to a dump, back from the settings", false, false, "NNB", {file_page_id, conversion_page_id,
                                                                       file_page_id}},
        {"workbook to a dump", true, false, "NNBNB", {file_page_id, conversion_page_id, file_page_id,
                                                      conversion_page_id, file_page_id}},
        {"workbook to its worksheets", true, false, "NNNB", {file_page_id, conversion_page_id, sheets_page_id,
                                                            conversion_page_id}},
        {"server: back from the login", false, true, "B", {welcome_page_id}},
    };
    for (const route_case& c : cases) {
        SCOPED_TRACE(c.name);
        wizard_fixture f;
        f.copy(std::string(RVL_PROFILES) + "/items.csv", "items.csv");
        f.copy(std::string(RVL_WORKBOOKS) + "/sheetjs.xlsx", "book.xlsx");
        f.start();
        f.choose(c.workbook, c.server);
        EXPECT_EQ(f.current(), c.server ? settings_page_id : dump_page_id);
        f.files(c.workbook ? "book.xlsx" : "items.csv", "out.sql");
        f.pages.conversion.table->setText(QStringLiteral("items"));
        for (size_t i = 0; c.clicks[i] != '\0'; ++i) {
            c.clicks[i] == 'N' ? f.next() : f.back();
            EXPECT_EQ(f.current(), c.pages_after.at(i)) << "after click " << i;
        }
    }
}

// Enter is Next from a field of each page (never Load settings of the
// welcome page), and Finish on the last page, where the focus rests on Finish.
TEST(ravelin_pages, enter_is_next_on_every_page_and_finish_on_the_last)
{
    wizard_fixture f;
    f.copy(std::string(RVL_PROFILES) + "/items.csv", "items.csv");
    f.start();
    f.pages.welcome.source->setCurrentIndex(1);
    f.pages.welcome.destination->setCurrentIndex(1);
    struct enter_case {
        const char* name;
        std::function<QWidget*()> field;
        uint32_t page_after;
    };
    const enter_case cases[] = {
        {"welcome, in the Destination box", [&f] { return f.pages.welcome.destination; }, dump_page_id},
        {"dump options", [&f] { return f.pages.dump.form->lf; }, file_page_id},
        {"file page, in the source field",
         [&f] {
             f.files("items.csv", "out.sql");
             return f.pages.file.src;
         },
         conversion_page_id},
        {"conversion settings, in the table field",
         [&f] {
             f.pages.conversion.table->setText(QStringLiteral("items"));
             return f.pages.conversion.table;
         },
         delim_page_id},
        {"CSV delimiter", [&f] { return f.pages.delim.delimiters[2]; }, finish_page_id},
    };
    for (const enter_case& c : cases) {
        SCOPED_TRACE(c.name);
        QWidget* field = c.field();
        field->setFocus();
        QTest::keyClick(field, Qt::Key_Return);
        if (c.page_after == finish_page_id) {
            ASSERT_TRUE(f.wait_for_finish());
        }
        EXPECT_EQ(f.current(), c.page_after);
    }
    // A CSV run is no Excel data; the dump is named by its full path.
    const std::string result = f.shell.findChild<QLabel*>(QStringLiteral("result"))->text().toStdString();
    EXPECT_NE(result.find("Wizard has converted your CSV file"), std::string::npos) << result;
    EXPECT_NE(result.find("The dump was written to " + f.dir.file("out.sql") + "."), std::string::npos) << result;
    EXPECT_EQ(f.shell.focusWidget(), f.shell.button(wizard_button::finish));
    QTest::keyClick(f.shell.focusWidget(), Qt::Key_Return);
    EXPECT_EQ(f.shell.result(), QDialog::Accepted);
    EXPECT_NE(test_dir::read(f.dir.file("out.sql")).find("CREATE TABLE `items`"), std::string::npos);
}

TEST(ravelin_pages, the_dump_page_stores_what_it_shows)
{
    wizard_fixture f;
    f.converter.dump_opts.b_ins_tables = true;
    f.converter.dump_opts.b_ins_db = true;
    f.start();
    f.choose(false, false);
    dump_form& form = *f.pages.dump.form;
    EXPECT_TRUE(form.ins_db->isEnabled());
    // On its box: the row is wider than what a click toggles.
    QTest::mouseClick(form.ins_tables, Qt::LeftButton, {}, QPoint(6, form.ins_tables->height() / 2));
    EXPECT_FALSE(form.ins_db->isEnabled());
    EXPECT_TRUE(form.ins_db->isChecked());
    form.old_version->setChecked(true);
    form.crlf->setChecked(true);
    f.back();
    EXPECT_FALSE(f.converter.dump_opts.b_ins_tables);
    EXPECT_TRUE(f.converter.dump_opts.b_ins_db);
    EXPECT_FALSE(f.converter.dump_opts.b_new_ver);
    EXPECT_EQ(f.converter.engine.get_version(), 0x031401u);
    EXPECT_EQ(f.converter.dump_opts.n_line_break, 0u);
    f.next();
    form.new_version->setChecked(true);
    f.next();
    EXPECT_EQ(f.converter.engine.get_version(), 0x040100u);
}

TEST(ravelin_pages, the_file_page_refuses_what_cannot_be_converted)
{
    struct file_case {
        const char* name;
        bool workbook;
        const char* src;
        const char* dest;
        const char* log;
        box_kind box;
        const char* text;
    };
    const file_case cases[] = {
        {"no source", false, "", "out.sql", "", box_kind::message, "You should enter the source file name"},
        {"missing source", false, "gone.csv", "out.sql", "", box_kind::error, "Source file 'gone.csv' does not exist."},
        {"no dump file", false, "items.csv", "", "", box_kind::message, "You should enter dump file name"},
        {"dump into a folder", false, "items.csv", ".", "", box_kind::error, "should specify a file, not folder"},
        {"damaged workbook", true, "broken.xlsx", "out.sql", "", box_kind::error,
         "broken.xlsx' is not a readable MS Excel workbook.\nCause: External table is not in the expected format."},
        {"a workbook as the CSV file", false, "book.csv", "out.sql", "", box_kind::error,
         "is a workbook, not a CSV file: convert it as an MS Excel spreadsheet.\nChoose \"MS Excel spreadsheet\""},
        {"log file in no folder", false, "items.csv", "out.sql", "/no/such/folder/x.log", box_kind::error,
         "Log file '/no/such/folder/x.log': its path does not exist."},
        {"log file a folder", false, "items.csv", "out.sql", ".", box_kind::error, "existing path"},
        {"dump into the source", false, "items.csv", "items.csv", "", box_kind::error,
         "The source 'items.csv' and the destination 'items.csv' are the same file."},
        {"log file the source", false, "items.csv", "out.sql", "items.csv", box_kind::error,
         "The source 'items.csv' and the log file 'items.csv' are the same file."},
    };
    for (const file_case& c : cases) {
        SCOPED_TRACE(c.name);
        wizard_fixture f;
        f.copy(std::string(RVL_PROFILES) + "/items.csv", "items.csv");
        test_dir::write(f.dir.file("broken.xlsx"), "not a workbook");
        f.copy(std::string(RVL_WORKBOOKS) + "/sheetjs.xlsx", "book.csv");
        f.start();
        f.choose(c.workbook, false);
        f.next();
        f.files(c.src, c.dest);
        f.pages.file.log->setText(QString::fromUtf8(c.log));
        f.port.expect_box(c.box, c.text);
        f.next();
        EXPECT_EQ(f.current(), file_page_id);
        EXPECT_EQ(test_dir::read(f.dir.file("items.csv")), test_dir::read(std::string(RVL_PROFILES) + "/items.csv"));
    }
}

// Switching the kind of source or destination shows that kind's own value:
// never a CSV path under the workbook's label, nor a dump path as a database.
TEST(ravelin_pages, each_file_field_keeps_the_value_of_its_own_kind)
{
    wizard_fixture f;
    f.start();
    f.choose(false, false);
    f.next();
    f.files("items.csv", "out.sql");
    f.back();
    f.back();
    f.choose(true, false);
    f.next();
    ASSERT_EQ(f.current(), file_page_id);
    EXPECT_EQ(f.pages.file.src->text().toStdString(), "");
    EXPECT_EQ(f.pages.file.dest->text().toStdString(), "out.sql");
    f.files("book.xlsx", "book.sql");
    f.back();
    f.back();
    f.choose(false, false);
    f.next();
    EXPECT_EQ(f.pages.file.src->text().toStdString(), "items.csv");
    EXPECT_EQ(f.pages.file.dest->text().toStdString(), "book.sql");
    f.back();
    f.back();
    // The server's database name is its own (the login page stands between).
    f.choose(false, true);
    ASSERT_EQ(f.current(), settings_page_id);
    EXPECT_EQ(f.converter.get_dest(), L"");
    f.back();
    f.choose(false, false);
    EXPECT_EQ(f.converter.get_dest(), L"book.sql");
    EXPECT_EQ(f.converter.get_src(), L"items.csv");
}

TEST(ravelin_pages, an_existing_dump_is_kept_until_the_run_replaces_it)
{
    wizard_fixture f;
    f.copy(std::string(RVL_PROFILES) + "/items.csv", "items.csv");
    test_dir::write(f.dir.file("out.sql"), "the old dump");
    f.start();
    f.choose(false, false);
    f.next();
    f.files("items.csv", "out.sql");
    f.port.expect_box(box_kind::question, "Destination file 'out.sql' already exists. Overwrite?", false);
    f.next();
    EXPECT_EQ(f.current(), file_page_id);
    EXPECT_TRUE(f.port.shown.back().default_no);
    f.port.expect_box(box_kind::question, "Destination file 'out.sql' already exists. Overwrite?", true);
    f.next();
    EXPECT_EQ(f.current(), conversion_page_id);
    f.pages.conversion.table->setText(QStringLiteral("items"));
    f.next();
    f.back();  // to the file page, the dump still there
    EXPECT_EQ(f.current(), file_page_id);
    EXPECT_EQ(test_dir::read(f.dir.file("out.sql")), "the old dump");
    f.port.expect_box(box_kind::question, "Overwrite?", true);
    f.next();
    f.next();
    f.pages.delim.delimiters[2]->setChecked(true);
    f.next();
    ASSERT_TRUE(f.wait_for_finish());
    EXPECT_NE(test_dir::read(f.dir.file("out.sql")).find("CREATE TABLE `items`"), std::string::npos);
}

TEST(ravelin_pages, the_destination_is_suggested_only_while_the_user_typed_none)
{
    wizard_fixture f;
    f.copy(std::string(RVL_WORKBOOKS) + "/sheetjs.xlsx", "book.xlsx");
    f.converter.set_src(tk_to_unicode(f.dir.file("book.xlsx")));
    f.start();
    f.choose(true, false);
    f.next();
    sel_file_page& page = f.pages.file;
    // Nothing stored: named after the workbook, beside it.
    EXPECT_EQ(page.dest->text().toStdString(), f.dir.file("book.sql"));
    page.dest->setText(QStringLiteral("mine.sql"));
    page.log->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(page.dest->text().toStdString(), "mine.sql");
    page.dest->clear();
    page.dest->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(page.dest->text().toStdString(), tk_to_ansi(make_dest_file_name(L"", L"book", L"sql")));
    // A stored destination is shown as it stands.
    f.back();
    f.converter.set_dest(L"dump.v2");
    f.next();
    EXPECT_EQ(page.dest->text().toStdString(), "dump.v2");
}

TEST(ravelin_pages, the_conversion_settings_keep_what_the_lists_do_not_hold)
{
    struct charset_case {
        const char* setting;
        int item_first_word;  // -1: none current
    };
    const std::vector<std::wstring> items = {L"latin1 - cp1252 West European", L"utf8mb3 - UTF-8 Unicode",
                                             L"utf8 - UTF-8 Unicode", L"UTF16 - UTF-16 Unicode"};
    const std::map<std::wstring, int> cases = {
        {L"utf8", 2}, {L"UTF8", 2}, {L"utf16", 3}, {L"latin", 0}, {L"koi8r", -1}, {L"", -1}};
    for (const auto& [setting, item] : cases)
        EXPECT_EQ(combo_item_for(items, setting), item) << tk_to_ansi(setting);

    wizard_fixture f;
    f.converter.engine.set_char_set(L"utf8");
    f.converter.engine.set_tab_type(L"NoSuchEngine");
    f.start();
    f.choose(false, false);
    f.next();
    f.copy(std::string(RVL_PROFILES) + "/items.csv", "items.csv");
    f.files("items.csv", "out.sql");
    f.next();
    conversion_settings& page = f.pages.conversion;
    EXPECT_TRUE(page.charset->currentText().startsWith(QStringLiteral("utf8 ")));
    EXPECT_EQ(page.engine->currentIndex(), -1);
    page.table->setText(QStringLiteral("items"));
    f.next();
    EXPECT_EQ(f.converter.engine.get_char_set(), L"utf8");
    EXPECT_EQ(f.converter.engine.get_tab_type(), L"NoSuchEngine");
    f.back();
    f.next();
    page.charset->setCurrentIndex(page.charset->findText(QStringLiteral("latin1 - cp1252 West European")));
    page.table->clear();
    f.port.expect_box(box_kind::message, "You should specify MySQL table name");
    f.next();
    EXPECT_EQ(f.current(), conversion_page_id);
    EXPECT_EQ(f.converter.engine.get_char_set(), L"latin1");
}

// Without a choice of the user the page starts on utf8mb4, as MORVANTE's
// runs do; utf8 and utf8mb4 read differently; a stored set the dump's list
// lacks is shown and kept.
TEST(ravelin_pages, the_character_set_starts_on_utf8mb4_and_shows_a_stored_one_the_list_lacks)
{
    struct charset_case {
        const wchar_t* stored;  // empty: no choice made
        const char* shown_first_word;
    };
    for (const charset_case& c : {charset_case{L"", "utf8mb4"}, charset_case{L"utf8mb3", "utf8mb3"}}) {
        SCOPED_TRACE(c.shown_first_word);
        wizard_fixture f;
        f.copy(std::string(RVL_PROFILES) + "/items.csv", "items.csv");
        f.converter.engine.set_char_set(c.stored);
        f.start();
        f.choose(false, false);
        f.next();
        f.files("items.csv", "out.sql");
        f.next();
        QComboBox* charset = f.pages.conversion.charset;
        const QString shown = charset->currentText();
        EXPECT_TRUE(shown.startsWith(QString::fromUtf8(c.shown_first_word) + QLatin1Char(' ')))
            << shown.toStdString();
        const int utf8 = charset->findText(QStringLiteral("utf8 "), Qt::MatchStartsWith);
        const int utf8mb4 = charset->findText(QStringLiteral("utf8mb4 "), Qt::MatchStartsWith);
        ASSERT_GE(utf8, 0);
        ASSERT_GE(utf8mb4, 0);
        EXPECT_NE(charset->itemText(utf8).mid(5), charset->itemText(utf8mb4).mid(8));
        f.pages.conversion.table->setText(QStringLiteral("items"));
        f.next();
        EXPECT_EQ(tk_to_ansi(f.converter.engine.get_char_set()), c.shown_first_word);
    }
}

// A delimiter chosen before is shown; none chosen (or one out of range) is
// read off the file's first line, else the default.
TEST(ravelin_pages, the_delimiter_page_shows_the_chosen_delimiter_else_the_files_own)
{
    struct delimiter_case {
        int32_t stored;
        const char* first_lines;
        int expected;
    };
    const delimiter_case cases[] = {
        {-1, "id,name,price\n1,Nut,0.5\n", 2},
        {7, "id,name,price\n", 2},
        {0, "id,name,price\n", 0},
        {3, "id,name,price\n", 3},
        {-1, "id\tname\tprice\n", 0},
        {-1, "id;name;price\n", 1},
        {-1, "\"a,b,c\";d\n", 1},      // inside quotes a comma is no delimiter
        {-1, "name\nNut, Bolt\n", 1},  // one column: the first line shows none
        {-1, "id,name;price\n", 1},    // as many of two: no guess
    };
    for (const delimiter_case& c : cases) {
        SCOPED_TRACE(std::to_string(c.stored) + " " + c.first_lines);
        wizard_fixture f;
        test_dir::write(f.dir.file("items.csv"), c.first_lines);
        f.converter.n_comma = c.stored;
        f.converter.tab_name = L"items";
        f.start();
        f.choose(false, false);
        f.next();
        f.files("items.csv", "out.sql");
        f.next();
        f.next();
        ASSERT_EQ(f.current(), delim_page_id);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(f.pages.delim.delimiters[i]->isChecked(), i == c.expected) << i;
        f.back();
        EXPECT_EQ(f.converter.n_comma, c.expected);
    }
}

// Load settings of a CSV profile shows the profile's table and delimiter,
// or, for a profile without them, its file's name, never the last run's.
TEST(ravelin_pages, load_settings_shows_the_csv_profiles_own_table)
{
    struct table_case {
        const char* keys;
        const char* table;
        int delimiter;
    };
    for (const table_case& c : {table_case{"csv table name=people\ncsv delimiter=2\n", "people", 2},
                                table_case{"", "items", 0}}) {
        SCOPED_TRACE(c.table);
        wizard_fixture f;
        f.copy(std::string(RVL_PROFILES) + "/items.csv", "items.csv");
        f.converter.tab_name = L"huge";
        f.converter.n_comma = 0;
        test_dir::write(f.dir.file("job.rvl"), std::string("[Generic settings]\nsrc=items.csv\ndest=out.sql\n"
                                                           "[MS Excel settings]\nconvert from xls=0\n") +
                                                   c.keys + "[MySQL settings]\ndirect mode=0\n");
        f.start();
        f.port.expect_file(QString::fromStdString(f.dir.file("job.rvl")));
        click(f.pages.welcome.load_button);
        f.next();
        f.next();
        f.next();
        ASSERT_EQ(f.current(), conversion_page_id);
        EXPECT_EQ(f.pages.conversion.table->text().toStdString(), c.table);
        f.next();
        ASSERT_EQ(f.current(), delim_page_id);
        EXPECT_TRUE(f.pages.delim.delimiters[c.delimiter]->isChecked());
    }
}

TEST(ravelin_pages, load_settings_fills_the_pages_or_changes_nothing)
{
    wizard_fixture f;
    const std::string good = "[Generic settings]\nsrc=items.csv\ndest=out.sql\n[MS Excel settings]\n"
                             "convert from xls=0\n[MySQL settings]\ndirect mode=0\n[Selected Tables]\nData\n";
    test_dir::write(f.dir.file("good.rvl"), good);
    f.converter.from_xls = true;
    f.converter.direct = true;
    f.start();
    EXPECT_EQ(f.pages.welcome.source->currentIndex(), 0);
    for (int load = 0; load < 2; ++load) {
        f.port.expect_file(QString::fromStdString(f.dir.file("good.rvl")));
        click(f.pages.welcome.load_button);
    }
    EXPECT_EQ(f.pages.welcome.source->currentIndex(), 1);
    EXPECT_EQ(f.pages.welcome.destination->currentIndex(), 1);
    EXPECT_EQ(f.converter.sel_queries.size(), 1u);  // not doubled by the second load

    // A profile that cannot be used: its message, and every setting as it was.
    f.converter.get_table_mutator2(L"items", L"goods");
    const struct {
        const char* generic;
        const char* mappings;
        const char* message;
    } broken[] = {
        {"", "tables:\n  - name: items\n      - name:id\n", "\"Type Mappings\" is out of place:\n      - name:id"},
        {"storage engine=My ISAM\n", "", "not a plain name (letters, digits and '_'):\nstorage engine=My ISAM"},
        {"character set=utf8;\n", "", "not a plain name (letters, digits and '_'):\ncharacter set=utf8;"},
    };
    for (const auto& b : broken) {
        test_dir::write(f.dir.file("broken.rvl"), std::string("[Generic settings]\nsrc=other.csv\n") + b.generic +
                                                      "[MS Excel settings]\nconvert from xls=1\n[MySQL settings]\n"
                                                      "direct mode=1\n[Selected Tables]\nOther\n[Type Mappings]\n" +
                                                      b.mappings);
        f.port.expect_file(QString::fromStdString(f.dir.file("broken.rvl")));
        f.port.expect_box(box_kind::error, "Profile " + f.dir.file("broken.rvl") + " cannot be used: ");
        click(f.pages.welcome.load_button);
        EXPECT_NE(f.port.shown.back().text.find(b.message), std::string::npos) << f.port.shown.back().text;
        EXPECT_EQ(f.converter.get_src(), L"items.csv") << b.message;
        EXPECT_FALSE(f.converter.from_xls);
        EXPECT_FALSE(f.converter.direct);
        ASSERT_EQ(f.converter.sel_queries.size(), 1u);
        EXPECT_EQ(f.converter.sel_queries[0].first, L"Data");
        ASSERT_NE(f.converter.get_table_mutator3(L"items"), nullptr);
        EXPECT_EQ(f.converter.get_table_mutator3(L"items")->new_name, L"goods");
        EXPECT_TRUE(f.converter.get_catalogue_names().empty());
        EXPECT_EQ(f.pages.welcome.source->currentIndex(), 1);
    }

    f.port.expect_file(QStringLiteral("missing.rvl"));
    f.port.expect_box(box_kind::error, "' does not exist.");
    click(f.pages.welcome.load_button);
    // A file that is no profile: the reason, and nothing applied.
    test_dir::write(f.dir.file("notes.rvl"), "shopping list\n[Generic settings]\nsrc=notes.csv\n");
    f.port.expect_file(QString::fromStdString(f.dir.file("notes.rvl")));
    f.port.expect_box(box_kind::error, "The profile " + f.dir.file("notes.rvl") +
                                           " cannot be read: line 1 comes before any [section] line, so it is not "
                                           "a profile: shopping list.");
    click(f.pages.welcome.load_button);
    f.port.expect_file(QString());  // cancelled
    click(f.pages.welcome.load_button);
    EXPECT_EQ(f.converter.get_src(), L"items.csv");
    EXPECT_EQ(f.port.requests.back().title.toStdString(), "Select Profile");
}

TEST(ravelin_pages, the_progress_status_shows_a_long_path_elided_and_whole_in_its_tooltip)
{
    wizard_fixture f;
    f.converter.from_xls = false;
    const std::wstring path = L"/data/" + std::wstring(300, L'x') + L"/items.csv";
    f.converter.set_src(path);
    auto* status = f.progress.findChild<QLabel*>(QStringLiteral("status"));
    ASSERT_NE(status, nullptr);
    status->resize(600, status->height());
    f.progress.on_timer();
    EXPECT_EQ(status->toolTip().toStdWString(), L"Processing file '" + path + L"', 0 rows done");
    EXPECT_TRUE(status->text().contains(QChar(0x2026))) << status->text().toStdString();
    EXPECT_TRUE(status->text().startsWith(QStringLiteral("Processing file '/data/")));
    EXPECT_TRUE(status->text().endsWith(QStringLiteral("items.csv', 0 rows done")));
}

// The system refuses the worker: the page reports it and moves on.
class unstartable_progress : public progress_page {
protected:
    tk_thread_functor* create_functor() override { throw tk_exception_ex("Cannot create the worker thread: ", 1); }
};

TEST(ravelin_pages, a_worker_that_cannot_start_is_reported_then_the_finish_page_follows)
{
    in_folder folder;
    tk_logger logger{nullptr, false, 3, false};
    fake_ui port;
    wizard_error_handler errors;
    wizard_hooks hooks;
    ravelin_converter converter{converter_form::wizard, hooks};
    unstartable_progress progress;
    gui_finish_page_t<ravelin_converter, finish_page_id> finish{L"errors", L"success", L"rvl"};
    wizard_shell shell{ravelin_converter::get_title()};
    shell.add_page(progress);
    shell.add_page(finish);
    port.expect_box(box_kind::error, "Cannot create the worker thread: ");
    ASSERT_TRUE(shell.start());
    shell.show();
    EXPECT_TRUE(QTest::qWaitFor([&shell] { return shell.current_page()->get_id() == finish_page_id; }, 5000));
    const std::vector<std::string> listed = shell.get_errors();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].rfind("Cannot create the worker thread: ", 0), 0u) << listed[0];
    EXPECT_FALSE(progress.is_running());
    EXPECT_FALSE(shell.timer_running());  // a later run may start it again
}

TEST(ravelin_pages, the_worksheet_page_moves_what_is_selected)
{
    wizard_fixture f;
    f.copy(std::string(RVL_WORKBOOKS) + "/sheetjs.xlsx", "book.xlsx");
    test_dir::write(f.dir.file("out.sql"), "old");
    f.start();
    f.choose(true, false);
    f.next();
    f.files("book.xlsx", "out.sql");
    f.port.expect_box(box_kind::question, "Overwrite?", true);
    f.next();
    f.next();
    ASSERT_EQ(f.current(), sheets_page_id);
    sel_shit_page& page = f.pages.sheets;
    ASSERT_EQ(page.available->count(), 2);
    EXPECT_EQ(page.available->currentRow(), 0);
    const QList<QLabel*> labels = page.findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [](const QLabel* label) {
        return label->text() == QStringLiteral("Select MS Excel worksheets to convert into MySQL tables. Double click "
                                               "an item in the\n'Selected worksheets' list, or press Space or F2 on "
                                               "it, to customize it.");
    }));

    // Five listed: the second and the fourth move, the third is highlighted.
    page.list_items({L"e", L"B", L"a", L"d", L"C"});
    page.available->clearSelection();
    EXPECT_EQ(page.available->item(1)->text().toStdString(), "B");  // the workbook's order
    page.available->item(1)->setSelected(true);
    page.available->item(3)->setSelected(true);
    click(page.add_button);
    ASSERT_EQ(page.selected->count(), 2);
    EXPECT_EQ(page.selected->item(0)->text().toStdString(), "B");
    EXPECT_EQ(page.selected->item(1)->text().toStdString(), "d");
    EXPECT_EQ(page.available->currentRow(), 2);
    EXPECT_EQ(page.available->currentItem()->text().toStdString(), "C");
    click(page.add_all_button);
    EXPECT_EQ(page.available->count(), 0);
    EXPECT_EQ(page.selected->count(), 5);
    click(page.remove_all_button);
    EXPECT_EQ(page.selected->count(), 0);

    // Back and again: the workbook's worksheets; nothing selected asks.
    f.back();
    f.next();
    ASSERT_EQ(page.available->count(), 2);
    f.port.expect_box(box_kind::question, "There are no worksheets selected. Continue anyway?", false);
    f.next();
    EXPECT_EQ(f.current(), sheets_page_id);
    page.available->clearSelection();
    page.available->item(1)->setSelected(true);
    click(page.add_button);
    EXPECT_EQ(page.available->currentRow(), 0);
    f.next();
    ASSERT_TRUE(f.wait_for_finish());
    EXPECT_EQ(f.converter.worksheets.size(), 1u);
    const std::string dump = test_dir::read(f.dir.file("out.sql"));
    EXPECT_NE(dump.find("CREATE TABLE `Other sheet`"), std::string::npos) << dump;
    EXPECT_EQ(dump.find("CREATE TABLE `Data`"), std::string::npos);
}

// Space, F2, the Menu key and Shift+F10 on a selected worksheet open Edit
// Table for it, as a double click does, and Enter stays Next. A list that
// takes the focus shows its current item selected, not a faint frame alone.
TEST(ravelin_pages, keys_open_edit_table_for_the_current_worksheet_and_enter_stays_next)
{
    wizard_fixture f;
    f.copy(std::string(RVL_WORKBOOKS) + "/sheetjs.xlsx", "book.xlsx");
    f.copy(std::string(RVL_TYPES) + "/sql.map", "sql.map");
    f.copy(std::string(RVL_TYPES) + "/sql.typ", "sql.typ");
    ASSERT_TRUE(f.start_active());
    f.workbook_to_sheets("out.sql");
    ASSERT_EQ(f.current(), sheets_page_id);
    sel_shit_page& page = f.pages.sheets;
    click(page.add_all_button);
    ASSERT_EQ(page.selected->count(), 2);
    EXPECT_EQ(QApplication::focusWidget(), page.selected);
    ASSERT_EQ(page.selected->selectedItems().size(), 1);
    EXPECT_EQ(page.selected->selectedItems().front(), page.selected->currentItem());

    struct key_case {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
    };
    const key_case keys[] = {{Qt::Key_Space, Qt::NoModifier}, {Qt::Key_F2, Qt::NoModifier},
                             {Qt::Key_Menu, Qt::NoModifier}, {Qt::Key_F10, Qt::ShiftModifier}};
    std::vector<std::string> opened;
    for (const key_case& k : keys) {
        f.port.expect_dialog([&opened](QDialog& d) {
            const auto* table = d.findChild<QLineEdit*>(QStringLiteral("table_name"));
            opened.push_back(d.windowTitle().toStdString() + ": " +
                             (table != nullptr ? table->text().toStdString() : std::string()));
            return static_cast<int>(QDialog::Rejected);
        });
        page.selected->setCurrentRow(1);
        QTest::keyClick(page.selected, k.key, k.modifiers);
    }
    const std::string second = "Edit Table: " + page.selected->item(1)->text().toStdString();
    EXPECT_EQ(opened, std::vector<std::string>(4, second));
    QTest::keyClick(page.selected, Qt::Key_Return);
    ASSERT_TRUE(f.wait_for_finish());
}

// Tab stops on the file page: each Browse button right after its field, each
// with a key of its own; the delimiter page starts on the checked delimiter
// and Tab back into the group lands on it.
TEST(ravelin_pages, browse_buttons_follow_their_fields_and_the_delimiter_group_is_entered_at_its_choice)
{
    wizard_fixture f;
    f.copy(std::string(RVL_PROFILES) + "/items.csv", "items.csv");
    ASSERT_TRUE(f.start_active());
    f.shell.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f.shell));
    f.choose(false, false);
    f.next();
    ASSERT_EQ(f.current(), file_page_id);
    sel_file_page& page = f.pages.file;
    page.src->setFocus();
    std::vector<std::string> stops;
    for (int i = 0; i < 6; ++i) {
        stops.push_back(QApplication::focusWidget()->objectName().toStdString());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(stops, (std::vector<std::string>{"src", "browse_src", "dest", "browse_dest", "log", "browse_log"}));
    std::set<QChar> keys;
    for (QPushButton* browse : {page.browse_src, page.browse_dest, page.browse_log}) {
        const QString text = browse->text();
        ASSERT_TRUE(text.contains(QLatin1Char('&'))) << text.toStdString();
        keys.insert(text.at(text.indexOf(QLatin1Char('&')) + 1).toLower());
    }
    EXPECT_EQ(keys.size(), 3u);
    f.port.expect_file(QString());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_R, Qt::AltModifier);
    // A mnemonic clicks as the button is seen pressed: a moment later.
    ASSERT_TRUE(QTest::qWaitFor([&f] { return !f.port.requests.empty(); }, 5000));
    EXPECT_FALSE(f.port.requests[0].save);  // the source's dialog

    f.files("items.csv", "out.sql");
    f.next();
    f.pages.conversion.table->setText(QStringLiteral("items"));
    f.next();
    ASSERT_EQ(f.current(), delim_page_id);
    QRadioButton* checked = f.pages.delim.delimiters[2];  // the file's commas
    ASSERT_TRUE(checked->isChecked());
    EXPECT_EQ(QApplication::focusWidget(), checked);
    f.pages.delim.field_names->setFocus();
    QTest::keyClick(f.pages.delim.field_names, Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), checked);
    QTest::keyClick(checked, Qt::Key_Left);
    EXPECT_TRUE(f.pages.delim.delimiters[1]->isChecked());
    EXPECT_EQ(QApplication::focusWidget(), f.pages.delim.delimiters[1]);
    QTest::keyClick(f.pages.delim.delimiters[1], Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), f.pages.delim.field_names);
    QTest::keyClick(f.pages.delim.field_names, Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), f.pages.delim.delimiters[1]);
}

// F1 opens the result's help on the finish page and in the dialog of a
// failure the run goes on after; Esc closes the finish page as Finish does.
TEST(ravelin_pages, f1_helps_on_the_finish_page_and_in_the_continue_dialog_and_esc_finishes)
{
    wizard_fixture f;
    f.copy(std::string(RVL_PROFILES) + "/items.csv", "items.csv");
    // The help folder beside the program, as the build makes it beside ravelin.
    const QString folder = QString::fromStdWString(wizard_shell::help_folder());
    ASSERT_FALSE(QDir(folder).exists());
    ASSERT_TRUE(QDir().mkpath(folder));
    const std::unique_ptr<const QString, void (*)(const QString*)> remove_folder(
        &folder, [](const QString* path) { QDir(*path).removeRecursively(); });
    test_dir::write((folder + QStringLiteral("/1014.html")).toStdString(), "");
    dlg_error_continue dialog(L"A value could not be converted.");
    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_F1);
    ASSERT_TRUE(f.start_active());
    f.csv_to_delimiters();
    f.next();
    ASSERT_TRUE(f.wait_for_finish());
    QTest::keyClick(f.shell.focusWidget(), Qt::Key_F1);
    ASSERT_EQ(f.port.help_pages.size(), 2u);
    for (const std::string& page : f.port.help_pages)
        EXPECT_TRUE(page.ends_with("/1014.html")) << page;
    QTest::keyClick(f.shell.focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(f.shell.isVisible());
    EXPECT_EQ(f.shell.result(), QDialog::Accepted);
}

// A worksheet whose XML is cut off fails the run before anything is
// written: the finish page gives the failure's own words (as the console
// does) and says that no dump was made.
TEST(ravelin_pages, the_finish_page_names_the_cause_and_that_nothing_was_written)
{
    wizard_fixture f;
    f.copy(std::string(RVL_WORKBOOKS) + "/bad/one_bad_sheet.xlsx", "book.xlsx");
    f.start();
    f.choose(true, false);
    f.next();
    f.files("book.xlsx", "out.sql");
    f.next();
    f.next();
    ASSERT_EQ(f.current(), sheets_page_id);
    click(f.pages.sheets.add_all_button);
    f.port.expect_dialog([](QDialog&) { return dlg_continue; });
    f.next();
    ASSERT_TRUE(f.wait_for_finish());
    const std::string listed = f.shell.findChild<QPlainTextEdit*>()->toPlainText().toStdString();
    EXPECT_NE(listed.find("Failed to recognize table structure"), std::string::npos) << listed;
    EXPECT_NE(listed.find("Cause: External table is not in the expected format."), std::string::npos) << listed;
    EXPECT_NE(listed.find("malformed XML"), std::string::npos) << listed;
    const std::string result = f.shell.findChild<QLabel*>(QStringLiteral("result"))->text().toStdString();
    EXPECT_EQ(f.finish_heading(), "Nothing was converted");
    EXPECT_NE(result.find("ended before anything was written"), std::string::npos) << result;
    EXPECT_NE(result.find("Nothing was written: no dump file was made."), std::string::npos) << result;
    EXPECT_FALSE(std::filesystem::exists(f.dir.file("out.sql")));
}

TEST(ravelin_pages, queries_are_listed_edited_and_kept_for_the_profile)
{
    const std::pair<const char*, const char*> checks[] = {
        {"  \t\r\n select * from x", "select * from x"}, {"SELECT", "SELECT"}, {"", ""}, {" \n ", ""}};
    for (const auto& [text, kept] : checks) {
        std::wstring t = tk_to_unicode(text);
        EXPECT_TRUE(check_select(t)) << text;
        EXPECT_EQ(tk_to_ansi(t), kept);
    }
    for (const char* refused : {"selec", "  SELEC", "UPDATE x"}) {
        std::wstring t = tk_to_unicode(refused);
        EXPECT_FALSE(check_select(t)) << refused;
    }

    wizard_fixture f;
    f.copy(std::string(RVL_WORKBOOKS) + "/sheetjs.xlsx", "book.xlsx");
    f.converter.sel_queries = {{L"Data", L""}, {L"q1", L"SELECT 1"}};
    f.converter.available_queries = {{L"q2", L"SELECT 2"}};
    f.start();
    f.workbook_to_sheets("new.sql");
    ASSERT_EQ(f.current(), sheets_page_id);
    sel_shit_page& page = f.pages.sheets;
    ASSERT_EQ(page.selected->count(), 2);
    ASSERT_EQ(page.available->count(), 2);  // "Other sheet" and q2

    struct edit_case {
        const char* name;
        const char* query;
        box_kind box;
        const char* text;  // null: accepted
    };
    const edit_case edits[] = {
        {"", "SELECT 1", box_kind::message, "Table name is empty!"},
        {"DATA", "SELECT 1", box_kind::error, "already listed"},
        {"Q2", "SELECT 1", box_kind::error, "already listed"},
        {"q9", " \n\t", box_kind::error, "Query is empty!"},
        {"q9", "selec", box_kind::error, "The query must start with SELECT."},
        {"q9", "  select 9", box_kind::error, nullptr},
    };
    page.selected->setCurrentRow(page.selected->row(page.selected->findItems("q1", Qt::MatchExactly).front()));
    f.port.expect_dialog([&](QDialog& d) {
        auto& dialog = dynamic_cast<set_query_dlg&>(d);
        // Only a profile's queries are listed: the dialog edits one.
        EXPECT_EQ(dialog.windowTitle().toStdString(), "Edit Query");
        EXPECT_EQ(dialog.query_edit->toPlainText().toStdString(), "SELECT 1");
        // A valid SELECT is no error: nothing runs it.
        const std::pair<const char*, box_kind> tests[] = {{"SELECT 1", box_kind::message},
                                                          {" select a from b", box_kind::message},
                                                          {"selec", box_kind::error}};
        for (const auto& [query, kind] : tests) {
            dialog.query_edit->setPlainText(QString::fromUtf8(query));
            f.port.expect_box(kind, kind == box_kind::error ? "must start with SELECT" : "queries are not converted");
            dialog.test_query();
            EXPECT_EQ(f.port.shown.back().text.find("error"), std::string::npos) << f.port.shown.back().text;
        }
        for (const edit_case& e : edits) {
            dialog.name_edit->setText(QString::fromUtf8(e.name));
            dialog.query_edit->setPlainText(QString::fromUtf8(e.query));
            if (e.text != nullptr)
                f.port.expect_box(e.box, e.text);
            dialog.accept();
        }
        return dialog.result();
    });
    page.on_edit_query();
    EXPECT_EQ(page.selected->findItems("q9", Qt::MatchExactly).size(), 1);
    EXPECT_TRUE(page.selected->findItems("q1", Qt::MatchExactly).empty());
    // q2 moves along with its item.
    page.available->clearSelection();
    page.available->findItems("q2", Qt::MatchExactly).front()->setSelected(true);
    click(page.add_button);
    f.next();
    ASSERT_TRUE(f.wait_for_finish());
    EXPECT_EQ(f.converter.sel_queries,
              (std::vector<std::pair<std::wstring, std::wstring>>{
                  {L"Data", L""}, {L"q9", L"select 9"}, {L"q2", L"SELECT 2"}}));
    EXPECT_TRUE(f.converter.available_queries.empty());
    EXPECT_EQ(f.converter.worksheets.size(), 1u);
    // The selected queries were asked for and not converted: each is named,
    // and the run did not do all it was asked.
    const std::string listed = f.shell.findChild<QPlainTextEdit*>()->toPlainText().toStdString();
    for (const char* query : {"q9", "q2"})
        EXPECT_NE(listed.find(std::string("Notice: The query '") + query + "' was not converted"), std::string::npos)
            << listed;
    EXPECT_EQ(f.finish_heading(), "Conversion completed with errors");
    EXPECT_EQ(exit_code_of(outcome_of(f.progress)), 1);
}

// "Do not migrate the data" is a choice of the workbook pages: one a
// workbook session left in the settings store takes no rows from a CSV run,
// whose pages never show it.
TEST(ravelin_pages, a_csv_run_copies_its_rows_whatever_the_workbook_pages_left)
{
    wizard_fixture f;
    f.copy(std::string(RVL_PROFILES) + "/items.csv", "items.csv");
    f.converter.tab_def = true;  // as the settings store gives it after a workbook session
    f.start();
    f.csv_to_delimiters();
    ASSERT_EQ(f.current(), delim_page_id);
    f.pages.delim.delimiters[2]->setChecked(true);
    f.next();
    ASSERT_TRUE(f.wait_for_finish());
    const std::string dump = test_dir::read(f.dir.file("out.sql"));
    EXPECT_NE(dump.find("'Washer'"), std::string::npos) << dump;
    EXPECT_EQ(f.finish_heading(), "Conversion completed") << f.finish_text();
}

// The user's visible choice of definitions only: the finish page says that
// the tables were made without rows, and names them.
TEST(ravelin_pages, a_run_of_definitions_names_the_tables_it_made_without_rows)
{
    wizard_fixture f;
    f.copy(std::string(RVL_WORKBOOKS) + "/sheetjs.xlsx", "book.xlsx");
    f.start();
    f.choose(true, false);
    f.next();
    f.files("book.xlsx", "out.sql");
    f.next();
    ASSERT_EQ(f.current(), conversion_page_id);
    f.pages.conversion.structure_only->setChecked(true);
    f.next();
    ASSERT_EQ(f.current(), sheets_page_id);
    click(f.pages.sheets.add_all_button);
    f.next();
    ASSERT_TRUE(f.wait_for_finish());
    const std::string dump = test_dir::read(f.dir.file("out.sql"));
    EXPECT_NE(dump.find("CREATE TABLE `Other sheet`"), std::string::npos) << dump;
    EXPECT_EQ(dump.find("INSERT INTO"), std::string::npos) << dump;
    EXPECT_EQ(f.finish_heading(), "Tables made without rows");
    const std::string text = f.finish_text();
    EXPECT_NE(text.find("without their rows, as \"Do not migrate the data\" asks: table 'Data', table 'Other sheet'."),
              std::string::npos)
        << text;
    EXPECT_EQ(exit_code_of(outcome_of(f.progress)), 0);
}

} // namespace

namespace {

// The pages on the live server: a database of the test's own, dropped at
// the end.

using types_editor = types_map_dlg<ravelin_converter, 1022>;

// The editor's answer: the given edits, then OK.
std::function<int(QDialog&)> edit_types(std::function<void(types_editor&)> edits)
{
    return [edits](QDialog& d) {
        auto& editor = dynamic_cast<types_editor&>(d);
        edits(editor);
        editor.accept();
        return editor.result();
    };
}

void edit_row(types_editor& d, int row) { d.list->setCurrentItem(d.list->topLevelItem(row)); }

TEST(ravelin_pages, customized_types_reach_the_dump_and_the_saved_profile_gives_it_again)
{
    test_dir keep;
    std::filesystem::copy_file(std::string(RVL_PROFILES) + "/items.csv", keep.file("items.csv"));
    std::filesystem::copy_file(std::string(RVL_TYPES) + "/sql.map", keep.file("sql.map"));
    std::filesystem::copy_file(std::string(RVL_TYPES) + "/sql.typ", keep.file("sql.typ"));
    std::string first;
    {
        wizard_fixture f;
        std::filesystem::current_path(keep.path());
        f.start();
        f.choose(false, false);
        f.next();
        f.files(keep.file("items.csv").c_str(), keep.file("out.sql").c_str());
        f.next();
        f.pages.conversion.table->setText(QStringLiteral("items"));
        f.next();
        ASSERT_EQ(f.current(), delim_page_id);
        f.pages.delim.delimiters[2]->setChecked(true);
        f.port.expect_dialog(edit_types([](types_editor& d) {
            d.table_name->setText(QStringLiteral("goods"));
            edit_row(d, 1);
            d.name->setText(QStringLiteral("title"));
            edit_row(d, 2);
            d.type->setCurrentIndex(d.type->findText(QStringLiteral("DECIMAL")));
            d.precision->setText(QStringLiteral("6"));
            d.scale->setText(QStringLiteral("2"));
            d.list->topLevelItem(3)->setCheckState(0, Qt::Unchecked);
        }));
        QTest::mouseClick(f.pages.delim.customize, Qt::LeftButton);
        f.next();
        ASSERT_TRUE(f.wait_for_finish());
        first = test_dir::read(keep.file("out.sql"));
        EXPECT_NE(first.find("CREATE TABLE `goods`"), std::string::npos) << first;
        EXPECT_NE(first.find("`title` VARCHAR"), std::string::npos) << first;
        EXPECT_NE(first.find("`price` DECIMAL(6,2)"), std::string::npos) << first;
        EXPECT_EQ(first.find("`note`"), std::string::npos) << first;
        EXPECT_EQ(first.find("second"), std::string::npos) << first;
        EXPECT_NE(first.find("'Washer'"), std::string::npos) << first;
        f.port.expect_file(QString::fromStdString(keep.file("job.rvl")));
        f.finish.on_store();
        std::filesystem::rename(keep.file("out.sql"), keep.file("first.sql"));
    }
    EXPECT_NE(test_dir::read(keep.file("job.rvl")).find("new_name: goods"), std::string::npos);

    // The saved profile, run as quick launch, writes the same dump; the
    // delimiter and table name, which no profile holds, are the user's
    // settings as the wizard left them.
    in_folder again;
    {
        wizard_hooks hooks;
        ravelin_converter settings(converter_form::wizard, hooks);
        settings.n_comma = 2;
        settings.tab_name = L"items";
    }
    fake_ui port;
    install_window_services();
    QTimer finisher;
    QObject::connect(&finisher, &QTimer::timeout, [] {
        wizard_shell* shell = wizard_shell::try_instance();
        if (shell != nullptr && shell->current_page() != nullptr && shell->current_page()->get_id() == finish_page_id)
            click(shell->button(wizard_button::finish));
    });
    finisher.start(20);
    ASSERT_EQ(ravelin_run(keep.file("job.rvl")), 0);
    EXPECT_EQ(dmp_without_date(first), dmp_without_date(test_dir::read(keep.file("out.sql"))));
}

TEST(ravelin_pages, an_editor_that_cannot_be_filled_is_reported_and_not_shown)
{
    wizard_fixture f;
    f.copy(std::string(RVL_PROFILES) + "/items.csv", "items.csv");
    f.copy(std::string(RVL_WORKBOOKS) + "/sheetjs.xlsx", "book.xlsx");
    map_list::forget_maps();
    f.start();
    f.csv_to_delimiters();
    ASSERT_EQ(f.current(), delim_page_id);
    f.port.expect_box(box_kind::error, "Cannot find sql.map. Custom type mapping is not available.");
    QTest::mouseClick(f.pages.delim.customize, Qt::LeftButton);
    EXPECT_EQ(f.current(), delim_page_id);

    // A worksheet gone from the workbook since the page listed it.
    f.copy(std::string(RVL_TYPES) + "/sql.map", "sql.map");
    f.copy(std::string(RVL_TYPES) + "/sql.typ", "sql.typ");
    f.back();
    f.back();
    f.back();
    f.choose(true, false);
    f.next();
    f.files("book.xlsx", "out.sql");
    f.next();
    f.next();
    ASSERT_EQ(f.current(), sheets_page_id);
    f.pages.sheets.selected->addItem(QStringLiteral("Vanished"));
    f.pages.sheets.selected->setCurrentRow(0);
    f.port.expect_box(box_kind::error, "The worksheet Vanished is no longer in the workbook");
    emit f.pages.sheets.selected->itemDoubleClicked(f.pages.sheets.selected->item(0));
    EXPECT_EQ(f.current(), sheets_page_id);
}

// Two selected worksheets never go into one table: Edit Table refuses the
// table name another selected worksheet's table has or will have (case
// aside, as the run keeps its names apart), naming that worksheet; Next
// refuses two that share one, as a loaded profile may give them.
TEST(ravelin_pages, edit_table_refuses_the_table_of_another_selected_worksheet)
{
    wizard_fixture f;
    f.copy(std::string(RVL_WORKBOOKS) + "/sheetjs.xlsx", "book.xlsx");
    f.copy(std::string(RVL_TYPES) + "/sql.map", "sql.map");
    f.copy(std::string(RVL_TYPES) + "/sql.typ", "sql.typ");
    f.converter.get_table_mutator2(L"Data", L"OTHER SHEET");  // a profile's rename
    f.start();
    f.workbook_to_sheets("out.sql");
    ASSERT_EQ(f.current(), sheets_page_id);
    sel_shit_page& page = f.pages.sheets;
    click(page.add_all_button);
    ASSERT_EQ(page.selected->count(), 2);
    f.port.expect_box(box_kind::error, "The worksheets Data and Other sheet would both be written into the table "
                                       "'OTHER SHEET'.");
    f.next();
    ASSERT_EQ(f.current(), sheets_page_id);

    struct name_case {
        const char* sheet;
        const char* name;
        const char* taken_by;  // null: accepted
    };
    const name_case cases[] = {
        {"Data", "OTHER SHEET", "Other sheet"},  // another worksheet's own name
        {"Other sheet", "facts", nullptr},
        {"Data", "Facts", "Other sheet"},  // the name it will have
        {"Data", "Other sheet", nullptr},  // free once that worksheet is renamed
    };
    for (const name_case& c : cases) {
        SCOPED_TRACE(std::string(c.sheet) + " as " + c.name);
        f.port.expect_dialog([&](QDialog& d) {
            auto& editor = dynamic_cast<types_editor&>(d);
            editor.table_name->setText(QString::fromUtf8(c.name));
            if (c.taken_by != nullptr)
                f.port.expect_box(box_kind::error, std::string("The table name '") + c.name +
                                                       "' is taken: the selected worksheet " + c.taken_by);
            editor.accept();
            EXPECT_EQ(editor.result(), c.taken_by != nullptr ? QDialog::Rejected : QDialog::Accepted);
            return editor.result();
        });
        page.selected->setCurrentRow(page.selected->row(page.selected->findItems(c.sheet, Qt::MatchStartsWith).front()));
        emit page.selected->itemDoubleClicked(page.selected->currentItem());
    }
    f.next();
    ASSERT_TRUE(f.wait_for_finish());
    const std::string dump = test_dir::read(f.dir.file("out.sql"));
    EXPECT_NE(dump.find("CREATE TABLE `Other sheet`"), std::string::npos) << dump;
    EXPECT_NE(dump.find("CREATE TABLE `facts`"), std::string::npos) << dump;
    EXPECT_EQ(dump.find("00000"), std::string::npos) << dump;
    EXPECT_EQ(f.finish_heading(), "Conversion completed") << f.finish_text();
}

std::vector<std::string> texts_of(const QListWidget* list)
{
    std::vector<std::string> texts;
    for (int i = 0; i < list->count(); ++i)
        texts.push_back(list->item(i)->text().toStdString());
    return texts;
}

// The worksheets stand in the workbook's order, each with the table the run
// writes once Edit Table renamed it; an empty worksheet's table is told of.
TEST(ravelin_pages, the_worksheet_page_shows_the_workbooks_order_and_the_tables_written)
{
    wizard_fixture f;
    f.copy(std::string(RVL_WORKBOOKS) + "/openpyxl.xlsx", "book.xlsx");
    f.copy(std::string(RVL_TYPES) + "/sql.map", "sql.map");
    f.copy(std::string(RVL_TYPES) + "/sql.typ", "sql.typ");
    f.start();
    f.workbook_to_sheets("out.sql");
    ASSERT_EQ(f.current(), sheets_page_id);
    sel_shit_page& page = f.pages.sheets;
    const std::vector<std::string> workbook = {"Types", "Hidden", "Empty", "Offset"};
    EXPECT_EQ(texts_of(page.available), workbook);
    page.available->clearSelection();
    page.available->item(3)->setSelected(true);
    page.available->item(1)->setSelected(true);
    click(page.add_button);
    EXPECT_EQ(texts_of(page.selected), (std::vector<std::string>{"Hidden", "Offset"}));
    f.port.expect_dialog(edit_types([](types_editor& d) { d.table_name->setText(QStringLiteral("secret")); }));
    page.selected->setCurrentRow(0);
    emit page.selected->itemDoubleClicked(page.selected->item(0));
    EXPECT_EQ(texts_of(page.selected), (std::vector<std::string>{"Hidden (table 'secret')", "Offset"}));
    click(page.remove_all_button);
    EXPECT_EQ(texts_of(page.available),
              (std::vector<std::string>{"Types", "Hidden (table 'secret')", "Empty", "Offset"}));
    click(page.add_all_button);
    f.next();
    ASSERT_TRUE(f.wait_for_finish());
    EXPECT_EQ(f.converter.worksheets.size(), 4u);  // by their own names
    const std::string dump = test_dir::read(f.dir.file("out.sql"));
    EXPECT_NE(dump.find("CREATE TABLE `secret`"), std::string::npos) << dump;
    const std::vector<std::string> listed = f.shell.get_errors();
    EXPECT_TRUE(std::any_of(listed.begin(), listed.end(), [](const std::string& line) {
        return line.find("Worksheet 'Empty': it holds no value: its table is made with one empty text column F1 "
                         "and no rows") != std::string::npos;
    })) << ::testing::PrintToString(listed);
}

struct server_fixture : wizard_fixture {
    server_settings s = *test_server_settings();
    std::string name = "rvl_pages_" + std::to_string(::getpid());

    server_fixture() { test_connection().execute("DROP DATABASE IF EXISTS `" + name + "`"); }
    ~server_fixture() { test_connection().execute("DROP DATABASE IF EXISTS `" + name + "`"); }
    // Welcome page to the file page, logged in.
    void login(bool workbook)
    {
        start();
        choose(workbook, true);
        pages.settings.remote->click();
        pages.settings.host->setText(QString::fromStdString(s.host.empty() ? "127.0.0.1" : s.host));
        pages.settings.port->setText(QString::number(s.port));
        pages.settings.user->setText(QString::fromStdString(s.user));
        pages.settings.password->setText(QString::fromStdString(s.password));
        next();
    }
    std::vector<std::vector<std::string>> rows(const std::string& sql) { return test_connection(name).rows(sql); }
    bool database_exists()
    {
        return !test_connection()
                    .rows("SELECT schema_name FROM information_schema.schemata WHERE schema_name = '" + name + "'")
                    .empty();
    }
};

TEST(ravelin_pages_server, the_login_page_stores_and_connects_or_stays)
{
    RVL_NEED_TEST_SERVER();
    server_fixture f;
    f.login(false);
    EXPECT_EQ(f.current(), file_page_id);
    EXPECT_EQ(f.converter.port, std::to_string(f.s.port));
    f.back();
    ASSERT_EQ(f.current(), settings_page_id);
    EXPECT_TRUE(f.pages.settings.remote->isChecked());

    struct login_case {
        const char* name;
        const char* password;
        const char* port;
        const char* text;
    };
    const login_case cases[] = {
        {"wrong password", "not the password", nullptr, "Access denied"},
        {"port not a number", nullptr, "abc", "Invalid port number"},
        {"nothing listens on the port", nullptr, "1", "(port 1). Is the server running there, and is that its port?"},
    };
    for (const login_case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.password != nullptr)
            f.pages.settings.password->setText(QString::fromUtf8(c.password));
        if (c.port != nullptr)
            f.pages.settings.port->setText(QString::fromUtf8(c.port));
        f.port.expect_box(box_kind::error, c.text);
        f.next();
        EXPECT_EQ(f.current(), settings_page_id);
        f.pages.settings.password->setText(QString::fromStdString(f.s.password));
        f.pages.settings.port->setText(QString::number(f.s.port));
    }
    // An empty user name is asked for, not left to the system's login.
    for (const char* empty : {"", "  "}) {
        f.pages.settings.user->setText(QString::fromUtf8(empty));
        f.port.expect_box(box_kind::message, "You should enter the MySQL user name");
        f.next();
        EXPECT_EQ(f.current(), settings_page_id);
    }
    f.pages.settings.user->setText(QString::fromStdString(f.s.user));
    // Local ignores the host and port fields.
    f.pages.settings.local->click();
    f.pages.settings.host->setText(QStringLiteral("elsewhere"));
    f.port.expect_box(box_kind::error, "");  // no local server in the test's folder
    f.next();
    EXPECT_EQ(f.converter.host, "");
    EXPECT_EQ(f.converter.port, "3306");
}

TEST(ravelin_pages_server, two_of_three_worksheets_merge_into_an_existing_database)
{
    RVL_NEED_TEST_SERVER();
    server_fixture f;
    // Worksheets DATA (n = 2), Data (n = 1) and "A;b" (n = 3).
    f.copy(std::string(RVL_WORKBOOKS) + "/handmade_cases.xlsx", "book.xlsx");
    test_connection().execute("CREATE DATABASE `" + f.name + "`");
    test_connection(f.name).execute("CREATE TABLE `Data` (n DOUBLE)");
    test_connection(f.name).execute("INSERT INTO `Data` VALUES (9)");
    f.login(true);
    f.files("book.xlsx", f.name.c_str());
    f.port.expect_dialog([](QDialog& d) {
        auto& dialog = dynamic_cast<overwrite_dlg2&>(d);
        dialog.choices[3]->setChecked(true);
        dialog.accept();
        return dialog.result();
    });
    f.next();
    ASSERT_EQ(f.current(), conversion_page_id);
    f.next();
    ASSERT_EQ(f.current(), sheets_page_id);
    sel_shit_page& page = f.pages.sheets;
    ASSERT_EQ(page.available->count(), 3);
    page.available->clearSelection();
    for (int i = 0; i < page.available->count(); ++i)
        page.available->item(i)->setSelected(page.available->item(i)->text() != QStringLiteral("DATA"));
    click(page.add_button);
    ASSERT_EQ(page.selected->count(), 2);
    f.next();
    ASSERT_TRUE(f.wait_for_finish());
    using rows = std::vector<std::vector<std::string>>;
    EXPECT_EQ(f.rows("SHOW TABLES"), (rows{{"Data"}, {"a_b"}}));  // the server's name for "A;b"
    EXPECT_EQ(f.rows("SELECT n FROM `Data` ORDER BY n"), (rows{{"1"}, {"9"}}));
    EXPECT_EQ(f.rows("SELECT n FROM a_b"), (rows{{"3"}}));
}

TEST(ravelin_pages_server, an_existing_database_is_prepared_by_the_run_as_dialog_121_says)
{
    RVL_NEED_TEST_SERVER();
    struct choice_case {
        const char* name;
        int mode;  // -1: Cancel
        std::vector<std::vector<std::string>> tables_after;
        bool by_enter = false;  // the first dialog is answered by Enter; a table Data is there before
    };
    const choice_case cases[] = {
        {"Cancel", -1, {{"Data"}, {"kept"}}},
        {"Overwrite the entire database", 0, {{"Data"}}},
        {"Merge", 3, {{"Data"}, {"kept"}}},
        {"Enter skips the existing tables", 2, {{"Data"}, {"kept"}}, true},
    };
    for (const choice_case& c : cases) {
        SCOPED_TRACE(c.name);
        server_fixture f;
        f.copy(std::string(RVL_WORKBOOKS) + "/sheetjs.xlsx", "book.xlsx");
        test_connection().execute("CREATE DATABASE `" + f.name + "`");
        test_connection(f.name).execute("CREATE TABLE kept (id INT)");
        if (c.by_enter)
            test_connection(f.name).execute("CREATE TABLE `Data` (id INT) AS SELECT 7 AS id");
        test_dir::write(f.dir.file("job.rvl"), "[Selected Tables]\nData\n");
        f.converter.load_profile(tk_to_unicode(f.dir.file("job.rvl")));
        f.login(true);
        f.files("book.xlsx", f.name.c_str());
        f.port.expect_dialog([&](QDialog& d) {
            auto& dialog = dynamic_cast<overwrite_dlg2&>(d);
            EXPECT_TRUE(dialog.choices[2]->isChecked());  // Skip: nothing dropped unless chosen
            // The database Overwrite would drop is named.
            const std::string text = dialog.findChild<QLabel*>(QStringLiteral("text"))->text().toStdString();
            EXPECT_NE(text.find("The destination database '" + f.name + "' already exists."), std::string::npos)
                << text;
            if (c.mode < 0)
                return static_cast<int>(QDialog::Rejected);
            if (c.by_enter) {
                dialog.show();
                QTest::keyClick(&dialog, Qt::Key_Return);
                return dialog.result();
            }
            dialog.choices[c.mode]->setChecked(true);
            dialog.accept();
            return dialog.result();
        });
        f.next();
        if (c.mode < 0) {
            EXPECT_EQ(f.current(), file_page_id);
            EXPECT_EQ(f.rows("SHOW TABLES"), (std::vector<std::vector<std::string>>{{"kept"}}));
            continue;
        }
        EXPECT_EQ(f.current(), conversion_page_id);
        EXPECT_EQ(f.converter.get_mode(), c.mode);
        f.back();  // the database is still whole
        EXPECT_EQ(f.rows("SHOW TABLES").size(), c.by_enter ? 2u : 1u);
        f.port.expect_dialog([&](QDialog& d) {
            auto& dialog = dynamic_cast<overwrite_dlg2&>(d);
            dialog.choices[c.mode]->setChecked(true);
            dialog.accept();
            return dialog.result();
        });
        f.next();
        f.next();
        ASSERT_EQ(f.current(), sheets_page_id);
        ASSERT_EQ(f.pages.sheets.selected->count(), 1);  // the profile's choice
        f.next();
        ASSERT_TRUE(f.wait_for_finish());
        EXPECT_EQ(f.rows("SHOW TABLES"), c.tables_after);
        EXPECT_FALSE(f.rows("SELECT * FROM `Data`").empty());
        // What the run dropped is named on the finish page.
        const std::string text = f.finish_text();
        EXPECT_EQ(text.find("Dropped by the run: table '" + f.name + ".kept'.") != std::string::npos, c.mode == 0)
            << text;
        if (c.by_enter) {
            EXPECT_EQ(f.rows("SELECT * FROM `Data`"), (std::vector<std::vector<std::string>>{{"7"}}));
            EXPECT_NE(text.find("Skipped because they existed, left as they were: table '" + f.name + ".Data'."),
                      std::string::npos)
                << text;
        }
    }
}

TEST(ravelin_pages_server, an_existing_table_is_prepared_by_the_run_as_dialog_120_says)
{
    RVL_NEED_TEST_SERVER();
    struct table_case {
        const char* name;
        bool database;
        bool table;
        int answer;  // of dialog 120 (0: not shown)
        int mode;    // after Next, -1: stays
        const char* rows_after;
    };
    const table_case cases[] = {
        {"Cancel", true, true, overwrite_dlg::cancel, -1, nullptr},
        {"Overwrite", true, true, overwrite_dlg::overwrite, 1, "4"},
        {"Merge", true, true, overwrite_dlg::merge, 3, "5"},
        {"no such table", true, false, 0, 1, "4"},
        {"no database", false, false, 0, 1, "4"},
    };
    for (const table_case& c : cases) {
        SCOPED_TRACE(c.name);
        server_fixture f;
        f.copy(std::string(RVL_PROFILES) + "/items.csv", "items.csv");
        f.converter.set_mode(0);
        if (c.database)
            test_connection().execute("CREATE DATABASE `" + f.name + "`");
        if (c.table) {
            test_connection(f.name).execute(
                "CREATE TABLE items (id INT, name VARCHAR(20), price DOUBLE, note VARCHAR(20))");
            test_connection(f.name).execute("INSERT INTO items VALUES (9, 'old', 1, 'kept')");
        }
        f.login(false);
        f.files("items.csv", f.name.c_str());
        f.next();
        ASSERT_EQ(f.current(), conversion_page_id);
        f.pages.conversion.table->setText(QStringLiteral("items"));
        if (!c.database)
            f.port.expect_box(box_kind::question, "Destination database '" + f.name + "' doesn't exist. Create it?",
                              true);
        if (c.answer != 0)
            f.port.expect_dialog([&](QDialog& d) {
                auto& dialog = dynamic_cast<overwrite_dlg&>(d);
                // The table Overwrite would drop is named, with its database.
                const std::string text = dialog.findChild<QLabel*>(QStringLiteral("text"))->text().toStdString();
                EXPECT_NE(text.find("Table 'items' already exists in database '" + f.name + "'."), std::string::npos)
                    << text;
                (c.answer == overwrite_dlg::overwrite ? dialog.overwrite_button
                 : c.answer == overwrite_dlg::merge   ? dialog.merge_button
                                                      : dialog.cancel_button)
                    ->click();
                return dialog.result();
            });
        f.next();
        if (c.mode < 0) {
            EXPECT_EQ(f.current(), conversion_page_id);
            EXPECT_EQ(f.converter.get_mode(), 0);
            continue;
        }
        ASSERT_EQ(f.current(), delim_page_id);
        EXPECT_EQ(f.converter.get_mode(), c.mode);
        if (c.table) {  // nothing dropped before the run
            EXPECT_EQ(f.rows("SELECT COUNT(*) FROM items"), (std::vector<std::vector<std::string>>{{"1"}}));
        }
        f.pages.delim.delimiters[2]->setChecked(true);
        f.next();
        ASSERT_TRUE(f.wait_for_finish());
        EXPECT_EQ(f.rows("SELECT COUNT(*) FROM items"), (std::vector<std::vector<std::string>>{{c.rows_after}}));
    }
}

// A CSV table renamed in "Edit Table" onto an existing table is asked about
// as the settings page asks about its name; Cancel keeps the page and the
// table.
TEST(ravelin_pages_server, a_table_renamed_onto_an_existing_one_is_asked_about)
{
    RVL_NEED_TEST_SERVER();
    server_fixture f;
    f.copy(std::string(RVL_PROFILES) + "/items.csv", "items.csv");
    f.copy(std::string(RVL_TYPES) + "/sql.map", "sql.map");
    f.copy(std::string(RVL_TYPES) + "/sql.typ", "sql.typ");
    test_connection().execute("CREATE DATABASE `" + f.name + "`");
    test_connection(f.name).execute("CREATE TABLE precious (id INT, name VARCHAR(20), price DOUBLE, note VARCHAR(20))");
    test_connection(f.name).execute("INSERT INTO precious VALUES (9, 'old', 1, 'kept')");
    f.login(false);
    f.files("items.csv", f.name.c_str());
    f.next();
    ASSERT_EQ(f.current(), conversion_page_id);
    EXPECT_EQ(f.pages.conversion.table->text().toStdString(), "items");
    f.next();  // no table items: nothing to ask
    ASSERT_EQ(f.current(), delim_page_id);
    f.pages.delim.delimiters[2]->setChecked(true);
    f.port.expect_dialog(edit_types([](types_editor& d) { d.table_name->setText(QStringLiteral("precious")); }));
    QTest::mouseClick(f.pages.delim.customize, Qt::LeftButton);
    for (int answer : {overwrite_dlg::cancel, overwrite_dlg::merge}) {
        f.port.expect_dialog([&](QDialog& d) {
            auto& dialog = dynamic_cast<overwrite_dlg&>(d);
            const std::string text = dialog.findChild<QLabel*>(QStringLiteral("text"))->text().toStdString();
            EXPECT_NE(text.find("Table 'precious' already exists in database '" + f.name + "'."), std::string::npos)
                << text;
            (answer == overwrite_dlg::merge ? dialog.merge_button : dialog.cancel_button)->click();
            return dialog.result();
        });
        f.next();
        if (answer == overwrite_dlg::cancel) {
            EXPECT_EQ(f.current(), delim_page_id);
            EXPECT_EQ(f.rows("SELECT COUNT(*) FROM precious"), (std::vector<std::vector<std::string>>{{"1"}}));
        }
    }
    ASSERT_TRUE(f.wait_for_finish());
    EXPECT_EQ(f.converter.get_mode(), 3);
    EXPECT_EQ(f.rows("SELECT COUNT(*) FROM precious"), (std::vector<std::vector<std::string>>{{"5"}}));
    EXPECT_EQ(f.finish_heading(), "Conversion completed") << f.finish_text();
}

TEST(ravelin_pages_server, a_worksheet_edited_by_double_click_reaches_the_server_changed)
{
    RVL_NEED_TEST_SERVER();
    server_fixture f;
    f.copy(std::string(RVL_WORKBOOKS) + "/sheetjs.xlsx", "book.xlsx");
    f.copy(std::string(RVL_TYPES) + "/sql.map", "sql.map");
    f.copy(std::string(RVL_TYPES) + "/sql.typ", "sql.typ");
    f.login(true);
    f.files("book.xlsx", f.name.c_str());
    // A missing database is asked about, as for a CSV file: No stays.
    for (const bool create : {false, true}) {
        f.port.expect_box(box_kind::question, "Destination database '" + f.name + "' doesn't exist. Create it?",
                          create);
        f.next();
        EXPECT_EQ(f.current(), create ? conversion_page_id : file_page_id);
        EXPECT_TRUE(f.port.shown.back().default_no);
    }
    EXPECT_FALSE(f.database_exists());  // the run creates it
    f.next();
    ASSERT_EQ(f.current(), sheets_page_id);
    sel_shit_page& page = f.pages.sheets;
    page.available->clearSelection();
    page.available->item(0)->setSelected(true);  // Data
    click(page.add_button);
    ASSERT_EQ(page.selected->count(), 1);
    std::string dropped;
    f.port.expect_dialog(edit_types([&dropped](types_editor& d) {
        d.table_name->setText(QStringLiteral("facts"));
        dropped = d.list->topLevelItem(1)->text(1).toStdString();
        d.list->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
    }));
    page.selected->setCurrentRow(0);
    emit page.selected->itemDoubleClicked(page.selected->item(0));
    EXPECT_EQ(page.selected->item(0)->text().toStdString(), "Data (table 'facts')");
    f.next();
    ASSERT_TRUE(f.wait_for_finish());
    const auto columns = f.rows("SELECT column_name FROM information_schema.columns WHERE table_schema = '" + f.name +
                                "' AND table_name = 'facts'");
    EXPECT_FALSE(columns.empty());
    for (const auto& column : columns)
        EXPECT_NE(column[0], dropped);
    EXPECT_TRUE(f.rows("SELECT table_name FROM information_schema.tables WHERE table_schema = '" + f.name +
                       "' AND table_name = 'Data'")
                    .empty());
}

// "Overwrite existing tables only" names, before the run, each existing
// table the run will replace, by the name it writes: a loaded profile's
// rename of a worksheet onto an unrelated table is asked about; No keeps the
// page and the table.
TEST(ravelin_pages_server, overwriting_tables_names_each_one_the_run_replaces)
{
    RVL_NEED_TEST_SERVER();
    using rows = std::vector<std::vector<std::string>>;
    for (const bool go_on : {false, true}) {
        SCOPED_TRACE(go_on ? "Yes" : "No");
        server_fixture f;
        f.copy(std::string(RVL_WORKBOOKS) + "/sheetjs.xlsx", "book.xlsx");
        test_connection().execute("CREATE DATABASE `" + f.name + "`");
        test_connection(f.name).execute("CREATE TABLE keepme (id INT) AS SELECT 7 AS id");
        test_connection(f.name).execute("CREATE TABLE unrelated (id INT)");
        test_dir::write(f.dir.file("job.rvl"), "[Selected Tables]\nData\nOther sheet\n"
                                               "[Type Mappings]\ntables:\n  - name: Data\n    new_name: keepme\n");
        ASSERT_TRUE(f.converter.load_profile(tk_to_unicode(f.dir.file("job.rvl"))));
        f.login(true);
        f.files("book.xlsx", f.name.c_str());
        f.port.expect_dialog([](QDialog& d) {
            auto& dialog = dynamic_cast<overwrite_dlg2&>(d);
            dialog.choices[1]->setChecked(true);
            dialog.accept();
            return dialog.result();
        });
        f.next();
        f.next();
        ASSERT_EQ(f.current(), sheets_page_id);
        ASSERT_EQ(f.pages.sheets.selected->count(), 2);
        f.port.expect_box(box_kind::question,
                          "The run replaces these existing tables of the database '" + f.name +
                              "', and what they hold now is lost: 'keepme' (worksheet Data). Continue?",
                          go_on);
        f.next();
        if (!go_on) {
            EXPECT_EQ(f.current(), sheets_page_id);
            EXPECT_EQ(f.rows("SELECT id FROM keepme"), (rows{{"7"}}));
            continue;
        }
        ASSERT_TRUE(f.wait_for_finish());
        EXPECT_EQ(f.rows("SELECT COUNT(*) FROM keepme"), (rows{{"2"}}));
        EXPECT_EQ(f.rows("SELECT COUNT(*) FROM unrelated"), (rows{{"0"}}));
    }
}

// A run that skips every table (each exists, "Skip existing tables") wrote
// nothing: the finish page says so and names the tables it skipped.
TEST(ravelin_pages_server, a_run_that_skips_every_table_says_nothing_was_converted)
{
    RVL_NEED_TEST_SERVER();
    server_fixture f;
    f.copy(std::string(RVL_WORKBOOKS) + "/sheetjs.xlsx", "book.xlsx");
    test_connection().execute("CREATE DATABASE `" + f.name + "`");
    test_connection(f.name).execute("CREATE TABLE `Data` (id INT) AS SELECT 7 AS id");
    test_connection(f.name).execute("CREATE TABLE `Other sheet` (id INT)");
    f.login(true);
    f.files("book.xlsx", f.name.c_str());
    f.port.expect_dialog([](QDialog& d) {
        auto& dialog = dynamic_cast<overwrite_dlg2&>(d);
        dialog.choices[2]->setChecked(true);
        dialog.accept();
        return dialog.result();
    });
    f.next();
    f.next();
    ASSERT_EQ(f.current(), sheets_page_id);
    click(f.pages.sheets.add_all_button);
    f.next();
    ASSERT_TRUE(f.wait_for_finish());
    EXPECT_EQ(f.finish_heading(), "Nothing was converted");
    const std::string text = f.finish_text();
    EXPECT_NE(text.find("was skipped, as \"Skip existing tables\" asks: nothing was written."), std::string::npos)
        << text;
    EXPECT_NE(text.find("Skipped because they existed, left as they were: table '" + f.name + ".Data', table '" +
                        f.name + ".Other sheet'."),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("was written into"), std::string::npos) << text;
    EXPECT_EQ(exit_code_of(outcome_of(f.progress)), 0);
    EXPECT_EQ(f.rows("SELECT id FROM `Data`"), (std::vector<std::vector<std::string>>{{"7"}}));
}

} // namespace

// The server page starts with the focus on its selected access mode, and Tab
// stops only where the focus can be seen: the fields in use, then the
// buttons.
TEST(ravelin_pages, the_server_page_focus_starts_on_the_selected_mode_and_tab_stops_where_it_shows)
{
    struct tab_case {
        const char* host;
        std::vector<std::string> stops;
    };
    const tab_case cases[] = {
        {"", {"local", "user", "password", "&Help", "< &Back", "&Next >", "Cancel", "local"}},
        {"db.example", {"remote", "user", "password", "host", "port", "&Help", "< &Back", "&Next >", "Cancel", "remote"}},
    };
    for (const tab_case& c : cases) {
        SCOPED_TRACE(c.host);
        wizard_fixture f;
        f.converter.store_mysql_settings(c.host, "me", "", "3306");
        f.start();
        f.choose(false, true);
        ASSERT_EQ(f.current(), settings_page_id);
        QApplication::processEvents();
        std::vector<std::string> stops;
        for (size_t i = 0; i < c.stops.size(); ++i) {
            QWidget* focus = QApplication::focusWidget();
            ASSERT_NE(focus, nullptr);
            EXPECT_TRUE(focus->isVisible() && focus->isEnabled()) << focus->objectName().toStdString();
            const auto* button = qobject_cast<QPushButton*>(focus);
            stops.push_back(button != nullptr ? button->text().toStdString() : focus->objectName().toStdString());
            QTest::keyClick(focus, Qt::Key_Tab);
        }
        EXPECT_EQ(stops, c.stops);
    }
}

// Enter in a dialog about an existing destination keeps what exists: the
// database dialog takes "Skip existing tables", the table dialog Cancel.
TEST(ravelin_pages, enter_in_a_conflict_dialog_keeps_what_exists)
{
    overwrite_dlg2 database(nullptr, L"Tessaline", L"The destination database 'shop' already exists.", 1019,
                            [](uint32_t) {});
    database.show();
    QTest::keyClick(&database, Qt::Key_Return);
    EXPECT_EQ(database.result(), QDialog::Accepted);
    EXPECT_EQ(database.get_mode(), 2u);

    overwrite_dlg table(nullptr, L"Tessaline", 1019, L"Table 'shop.t1' already exists.", [](uint32_t) {});
    table.show();
    QTest::keyClick(&table, Qt::Key_Return);
    EXPECT_EQ(table.result(), overwrite_dlg::cancel);
    EXPECT_EQ(table.get_choice(), 0u);
}

// A CSV file through the pages into a dump, to the delimiter page.
void csv_to_delim_page(wizard_fixture& f, const char* src)
{
    f.start();
    f.choose(false, false);
    f.next();
    f.files(src, "out.sql");
    f.next();
    ASSERT_EQ(f.current(), conversion_page_id);
    f.next();
    ASSERT_EQ(f.current(), delim_page_id);
    f.pages.delim.delimiters[2]->setChecked(true);
}

// A source removed after the pages checked it: the run writes nothing, and
// the finish page says so in its heading, never "successfully".
TEST(ravelin_pages, a_source_gone_before_the_run_is_nothing_converted)
{
    wizard_fixture f;
    f.copy(std::string(RVL_PROFILES) + "/items.csv", "items.csv");
    csv_to_delim_page(f, "items.csv");
    std::filesystem::remove(f.dir.file("items.csv"));
    f.port.expect_box(box_kind::error, "");
    f.next();
    ASSERT_TRUE(f.wait_for_finish());
    EXPECT_EQ(f.finish_heading(), "Nothing was converted");
    const std::string text = f.finish_text();
    EXPECT_NE(text.find("ended before anything was written"), std::string::npos) << text;
    EXPECT_NE(text.find("Nothing was written: no dump file was made."), std::string::npos) << text;
    EXPECT_EQ(text.find("successfully"), std::string::npos) << text;
    EXPECT_FALSE(std::filesystem::exists(f.dir.file("out.sql")));
}

// A named pipe that no writer opened keeps the run waiting for its bytes:
// Cancel still stops it at once.
TEST(ravelin_pages, cancel_stops_a_run_waiting_for_a_named_pipe)
{
    wizard_fixture f;
    const std::string pipe = f.dir.file("items.csv");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    csv_to_delim_page(f, "items.csv");
    f.next();
    ASSERT_EQ(f.current(), progress_page_id);
    QTest::qWait(300);
    ASSERT_FALSE(f.converter.done.load());
    f.port.expect_box(box_kind::question, "Do you want to stop the conversion", true);
    f.port.expect_box(box_kind::message, "The conversion was interrupted.");
    const auto pressed = std::chrono::steady_clock::now();
    click(f.shell.button(wizard_button::cancel));
    EXPECT_LT(std::chrono::steady_clock::now() - pressed, std::chrono::seconds(5));
    EXPECT_TRUE(f.converter.done.load());
    EXPECT_TRUE(f.converter.was_interrupted());
    EXPECT_FALSE(std::filesystem::exists(f.dir.file("out.sql")));
}

// A dump that drops and creates its database says which one loading it
// destroys: the label says the database is dropped, the finish page names it.
TEST(ravelin_pages, a_dump_with_its_database_statements_names_the_database_it_drops)
{
    wizard_fixture f;
    f.copy(std::string(RVL_PROFILES) + "/items.csv", "items.csv");
    f.start();
    f.choose(false, false);
    auto* ins_db = f.pages.dump.findChild<QCheckBox*>(QStringLiteral("ins_db"));
    ASSERT_NE(ins_db, nullptr);
    EXPECT_NE(ins_db->text().toStdString().find("drops and recreates the database named after the file"),
              std::string::npos);
    ins_db->setChecked(true);
    f.next();
    f.files("items.csv", "shop.sql");
    f.next();
    f.next();
    f.pages.delim.delimiters[2]->setChecked(true);
    f.next();
    ASSERT_TRUE(f.wait_for_finish());
    EXPECT_NE(test_dir::read(f.dir.file("shop.sql")).find("DROP DATABASE IF EXISTS `shop`;"), std::string::npos);
    EXPECT_NE(f.finish_text().find("Loading it drops the database 'shop' and creates it again."), std::string::npos)
        << f.finish_text();
}

// A table renamed in "Edit Table" is the name the settings page shows and
// stores, the one the dump is written under.
TEST(ravelin_pages, the_settings_page_shows_the_table_name_the_run_writes)
{
    wizard_fixture f;
    f.copy(std::string(RVL_PROFILES) + "/items.csv", "items.csv");
    f.copy(std::string(RVL_TYPES) + "/sql.map", "sql.map");
    f.copy(std::string(RVL_TYPES) + "/sql.typ", "sql.typ");
    csv_to_delim_page(f, "items.csv");
    f.port.expect_dialog(edit_types([](types_editor& d) {
        d.table_name->setText(QStringLiteral("goods"));
        edit_row(d, 2);
        d.type->setCurrentIndex(d.type->findText(QStringLiteral("DECIMAL")));
        d.precision->setText(QStringLiteral("6"));
        d.scale->setText(QStringLiteral("2"));
    }));
    QTest::mouseClick(f.pages.delim.customize, Qt::LeftButton);
    f.back();
    ASSERT_EQ(f.current(), file_page_id);
    f.next();
    ASSERT_EQ(f.current(), conversion_page_id);
    EXPECT_EQ(f.pages.conversion.table->text().toStdString(), "goods");
    // A name typed there renames the table; the column's change stays.
    f.pages.conversion.table->setText(QStringLiteral("wares"));
    f.next();
    f.next();
    ASSERT_TRUE(f.wait_for_finish());
    const std::string dump = test_dir::read(f.dir.file("out.sql"));
    EXPECT_NE(dump.find("CREATE TABLE `wares`"), std::string::npos) << dump;
    EXPECT_NE(dump.find("`price` DECIMAL(6,2)"), std::string::npos) << dump;
    EXPECT_EQ(dump.find("`items`"), std::string::npos) << dump;
}

// The last run's table name stays with the last run's file: another file
// gets its base name, made safe, unless the user typed a name for it.
TEST(ravelin_pages, a_csv_file_gets_a_table_name_of_its_own)
{
    wizard_fixture f;
    f.copy(std::string(RVL_PROFILES) + "/items.csv", "items.csv");
    f.copy(std::string(RVL_PROFILES) + "/items.csv", "Customers 2024.csv");
    // The settings store as the last run left them, read as a new start reads them.
    f.converter.from_xls = false;
    f.converter.set_src(L"items.csv");
    f.converter.tab_name = L"orders";
    ASSERT_TRUE(f.converter.serialize(true));
    f.converter.tab_name.clear();
    ASSERT_TRUE(f.converter.serialize(false));
    f.start();
    f.choose(false, false);
    f.next();
    f.files("items.csv", "out.sql");
    f.next();
    EXPECT_EQ(f.pages.conversion.table->text().toStdString(), "orders");  // that file's own name
    f.back();
    f.files("Customers 2024.csv", "out.sql");
    f.next();
    EXPECT_EQ(f.pages.conversion.table->text().toStdString(), "Customers 2024");
    f.pages.conversion.table->setText(QStringLiteral("clients"));
    f.back();
    f.next();
    EXPECT_EQ(f.pages.conversion.table->text().toStdString(), "clients");  // typed for this file
    f.back();
    f.files("items.csv", "out.sql");
    f.next();
    EXPECT_EQ(f.pages.conversion.table->text().toStdString(), "items");
}

// A profile without a log runs without one: Load settings empties the log
// field, Save settings keeps it empty.
TEST(ravelin_pages, load_settings_takes_the_profiles_empty_log)
{
    wizard_fixture f;
    f.copy(std::string(RVL_PROFILES) + "/items.csv", "items.csv");
    f.converter.set_logfile(f.dir.file("orders.log"));
    test_dir::write(f.dir.file("job.rvl"), "[Generic settings]\nsrc=items.csv\ndest=out.sql\nlogfile=\n"
                                           "[MS Excel settings]\nconvert from xls=0\ncsv table name=items\n"
                                           "csv delimiter=2\n[MySQL settings]\ndirect mode=0\n");
    f.start();
    f.choose(false, false);
    f.next();
    ASSERT_EQ(f.current(), file_page_id);
    EXPECT_EQ(f.pages.file.log->text().toStdString(), f.dir.file("orders.log"));
    f.back();
    f.back();
    ASSERT_EQ(f.current(), welcome_page_id);
    f.port.expect_file(QString::fromStdString(f.dir.file("job.rvl")));
    click(f.pages.welcome.load_button);
    f.next();
    f.next();
    ASSERT_EQ(f.current(), file_page_id);
    EXPECT_EQ(f.pages.file.log->text().toStdString(), "");
    const auto log_now = [&f] {
        return std::filesystem::exists(f.dir.file("orders.log")) ? test_dir::read(f.dir.file("orders.log")) : "";
    };
    const std::string log_before = log_now();
    f.next();
    f.next();
    f.next();
    ASSERT_TRUE(f.wait_for_finish());
    EXPECT_EQ(f.finish_text().find("The log was written"), std::string::npos) << f.finish_text();
    EXPECT_EQ(log_now(), log_before);
    f.port.expect_file(QString::fromStdString(f.dir.file("again.rvl")));
    f.finish.on_store();
    udb_profile saved;
    ASSERT_TRUE(saved.load(tk_to_unicode(f.dir.file("again.rvl"))));
    EXPECT_EQ(saved.get_value(udb_generic_settings, L"logfile"), L"");
    EXPECT_NE(test_dir::read(f.dir.file("again.rvl")).find("logfile="), std::string::npos);
}

// A named pipe gives its bytes once: the file page does not read them, so
// the run finds the whole file.
TEST(ravelin_pages, the_file_page_leaves_a_named_pipe_to_the_run)
{
    wizard_fixture f;
    const std::string pipe = f.dir.file("items.csv");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    // A writer that never blocks holds the rows in the pipe.
    const int writer = ::open(pipe.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    const std::string rows = "id,name\n1,bolt\n2,nut\n";
    ASSERT_EQ(::write(writer, rows.data(), rows.size()), static_cast<ssize_t>(rows.size()));
    f.start();
    f.choose(false, false);
    f.next();
    f.files("items.csv", "out.sql");
    f.next();
    EXPECT_EQ(f.current(), conversion_page_id);
    std::string left(64, '\0');
    const ssize_t got = ::read(writer, left.data(), left.size());
    ::close(writer);
    EXPECT_EQ(left.substr(0, got < 0 ? 0 : static_cast<size_t>(got)), rows);
}

// The wizard opens big enough for every page: the server page's Host and
// Port keep a field's height.
TEST(ravelin_pages, the_wizard_opens_with_every_field_of_the_server_page_whole)
{
    wizard_fixture f;
    f.converter.store_mysql_settings("db.example", "me", "", "3306");
    f.start();
    EXPECT_GE(f.shell.width(), 800);
    EXPECT_GE(f.shell.height(), 520);
    f.choose(false, true);
    ASSERT_EQ(f.current(), settings_page_id);
    QApplication::processEvents();
    for (QLineEdit* field : {f.pages.settings.host, f.pages.settings.port})
        EXPECT_GE(field->height(), field->sizeHint().height()) << field->objectName().toStdString();
    // At the smallest size the wizard takes, the hints under Host and Port
    // keep their lines too, below their fields.
    f.shell.resize(f.shell.minimumSize());
    QApplication::processEvents();
    const QList<QLabel*> labels = f.pages.settings.findChildren<QLabel*>();
    for (QLineEdit* field : {f.pages.settings.host, f.pages.settings.port}) {
        EXPECT_GE(field->height(), field->sizeHint().height()) << field->objectName().toStdString();
        for (const QLabel* hint : labels)
            if (hint->text().startsWith(QLatin1Char('(')) && hint->y() > field->y()) {
                EXPECT_GE(hint->height(), hint->sizeHint().height()) << hint->text().toStdString();
                EXPECT_GE(hint->y(), field->y() + field->height()) << hint->text().toStdString();
            }
    }
}
