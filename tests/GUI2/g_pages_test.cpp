// The file dialogs (where they start, the default extension) and the finish
// page (success or the error list, Save settings).
#include "GUI2/g_f_dlg.hpp"
#include "GUI2/g_finish.hpp"
#include "gui_help.hpp"
#include "test_dir.hpp"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

#include <algorithm>

#include <sys/stat.h>

namespace {

const file_filter sql_filter = {{L"MySQL Dump Files (.sql)", L"*.sql"}, {L"All Files (*.*)", L"*.*"}};

TEST(file_dialog, starts_in_the_folder_of_the_path_with_its_name)
{
    fake_ui port;
    port.expect_file("/data/book.xlsx");
    open_file_dialog open(nullptr, {{L"MS Excel Workbooks (.xls;.xlsx)", L"*.xls;*.xlsx"}, {L"All Files (*.*)", L"*.*"}},
                          L"Select data source to convert", L"/data/in/book.xlsx");
    EXPECT_TRUE(open.show());
    EXPECT_EQ(open.get_path(), L"/data/book.xlsx");
    port.expect_file("");
    open_file_dialog empty(nullptr, sql_filter, L"t", L"");
    EXPECT_FALSE(empty.show());
    ASSERT_EQ(port.requests.size(), 2u);
    EXPECT_EQ(port.requests[0].folder.toStdString(), "/data/in");
    EXPECT_EQ(port.requests[0].name.toStdString(), "book");
    EXPECT_EQ(port.requests[0].title.toStdString(), "Select data source to convert");
    EXPECT_EQ(port.requests[0].filters, QStringList({"MS Excel Workbooks (.xls;.xlsx) (*.xls *.xlsx)", "All Files (*.*) (*)"}));
    EXPECT_FALSE(port.requests[0].save);
    EXPECT_EQ(port.requests[1].folder, QDir::currentPath());
    EXPECT_TRUE(port.requests[1].name.isEmpty());
}

TEST(file_dialog, save_adds_the_extension_to_a_name_without_it)
{
    const std::pair<const char*, const char*> cases[] = {
        {"/d/dump", "/d/dump.sql"},
        {"/d/dump.sql", "/d/dump.sql"},
        {"/d/report.SQL", "/d/report.SQL"},
        {"/d/x.sql.bak", "/d/x.sql.bak"},
        {"/d/a.sql/dump", "/d/a.sql/dump.sql"},
    };
    fake_ui port;
    for (const auto& [chosen, expected] : cases) {
        port.expect_file(chosen);
        save_file_dialog dialog(nullptr, sql_filter, L"Select Dump File", L"", L"sql");
        ASSERT_TRUE(dialog.show());
        EXPECT_EQ(QString::fromStdWString(dialog.get_path()).toStdString(), expected) << chosen;
    }
    // A long path is taken whole.
    const std::string long_name = "/d/" + std::string(400, 'n');
    port.expect_file(QString::fromStdString(long_name));
    save_file_dialog dialog(nullptr, sql_filter, L"t", L"", L".sql");
    ASSERT_TRUE(dialog.show());
    EXPECT_EQ(QString::fromStdWString(dialog.get_path()).toStdString(), long_name + ".sql");
    EXPECT_TRUE(port.requests.back().save);
    EXPECT_THROW(save_file_dialog(nullptr, sql_filter, L"t", L"", nullptr), tk_mail_assertion);
}

// The program's own port opens a file dialog large enough for the list's
// Size and Type columns (Qt's own size cuts them), within the screen.
TEST(file_dialog, the_real_dialog_opens_large_enough_for_its_columns)
{
    test_dir dir;
    QSize opened;
    QTimer::singleShot(0, [&opened] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            opened = dialog->size();
            dialog->reject();
        }
    });
    file_request request;
    request.title = QStringLiteral("Select Log File");
    request.filters = QStringList{QStringLiteral("Log Files (.log) (*.log)")};
    request.folder = QString::fromStdString(dir.path().string());
    request.save = true;
    EXPECT_TRUE(ui().file(request).isEmpty());
    const QSize room = QGuiApplication::primaryScreen()->availableSize();
    EXPECT_GE(opened.width(), std::min(900, room.width()));
    EXPECT_GE(opened.height(), std::min(560, room.height()));
}

TEST(file_dialog, a_bar_separated_filter_becomes_its_pairs)
{
    const file_filter expected = {{L"Profile Files (.rvl)", L"*.rvl"}, {L"All Files (*.*)", L"*.*"}};
    EXPECT_EQ(parse_filter(L"Profile Files (.rvl)|*.rvl|All Files (*.*)|*.*|"), expected);
}

// Stores a profile as the converter would; `refuse` makes it fail.
class fake_store : public tk_singleton<fake_store> {
public:
    bool store_profile(const std::wstring& path)
    {
        stored.push_back(path);
        if (refuse)
            return false;
        test_dir::write(QString::fromStdWString(path).toStdString(), "[Generic settings]\r\n");
        return true;
    }
    std::vector<std::wstring> stored;
    bool refuse = false;
};

using finish_page = gui_finish_page_t<fake_store, 9>;

struct finish_fixture : shell_fixture {
    finish_page page{L"There were some errors", L"Converted successfully", L"rvl"};
    fake_store store;
    finish_fixture() : shell_fixture(1) { shell.add_page(page); }
    QPlainTextEdit* list() { return page.findChild<QPlainTextEdit*>(); }
    void finish()
    {
        start();
        click(shell.button(wizard_button::next));
        ASSERT_EQ(current(), 9u);
    }
    std::string message()
    {
        for (const QLabel* label : page.findChildren<QLabel*>())
            if (label->text().startsWith("There") || label->text().startsWith("Converted"))
                return label->text().toStdString();
        return {};
    }
};

// Nothing is left to cancel on the last page: Cancel is off and Esc closes
// the wizard as Finish does, without a question; Help stays on.
TEST(finish_page, shows_success_without_errors_locks_cancel_and_esc_finishes)
{
    finish_fixture f;
    f.finish();
    EXPECT_EQ(f.message(), "Converted successfully");
    EXPECT_FALSE(f.list()->isVisible());
    EXPECT_FALSE(f.shell.button(wizard_button::cancel)->isEnabled());
    EXPECT_TRUE(f.shell.button(wizard_button::help)->isEnabled());
    EXPECT_TRUE(f.shell.button(wizard_button::finish)->isVisible());
    QTest::keyClick(&f.shell, Qt::Key_Escape);
    EXPECT_FALSE(f.shell.isVisible());
    EXPECT_EQ(f.shell.result(), QDialog::Accepted);
    EXPECT_TRUE(f.port.shown.empty());
}

TEST(finish_page, lists_each_error_as_a_paragraph_and_counts_those_not_kept)
{
    finish_fixture f;
    f.shell.add_error("Sheet1: first\nline");
    for (int i = 2; i <= 23; ++i)
        f.shell.add_error("error " + std::to_string(i));
    f.finish();
    EXPECT_EQ(f.message(), "There were some errors");
    ASSERT_TRUE(f.list()->isVisible());
    EXPECT_TRUE(f.list()->isReadOnly());
    const QString text = f.list()->toPlainText();
    EXPECT_TRUE(text.startsWith("Sheet1: first line\n\nerror 2\n\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("error 20\n\n3 more error messages came and are not listed here.")) << text.toStdString();
    EXPECT_FALSE(text.contains("error 21"));
}

TEST(finish_page, save_settings_stores_a_private_profile_with_its_extension)
{
    test_dir dir;
    finish_fixture f;
    f.finish();
    QPushButton* save = f.page.findChild<QPushButton*>();
    ASSERT_NE(save, nullptr);
    const QString chosen = QString::fromStdString(dir.file("job"));
    f.port.expect_file(chosen);
    click(save);
    ASSERT_EQ(f.store.stored.size(), 1u);
    EXPECT_EQ(QString::fromStdWString(f.store.stored[0]), chosen + ".rvl");
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("job.rvl").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(f.port.requests.size(), 1u);
    EXPECT_EQ(f.port.requests[0].title.toStdString(), "Save Profile");
    EXPECT_EQ(f.port.requests[0].filters, QStringList({"Profile Files (.rvl) (*.rvl)", "All Files (*.*) (*)"}));

    // Cancelled: nothing stored. Refused: told, and no empty file left.
    f.port.expect_file("");
    click(save);
    EXPECT_EQ(f.store.stored.size(), 1u);
    f.store.refuse = true;
    f.port.expect_file(QString::fromStdString(dir.file("other.rvl")));
    f.port.expect_box(box_kind::error, "The settings could not be saved to " + dir.file("other.rvl"));
    click(save);
    EXPECT_FALSE(std::filesystem::exists(dir.file("other.rvl")));
}

} // namespace
