// rvl_screens <folder>: a picture of every page and dialog of the wizard, for
// a human look (tools/screens.sh runs it under xvfb-run). Not a test: it runs
// a saved conversion whose first worksheet fails, and a port that pictures
// each box and dialog before it answers with its default.
#include "GUI2/g_uiport.hpp"
#include "GUI2/g_wiz_pg.hpp"
#include "GUI2/g_wiz_sh.hpp"
#include "common/over_dlg.hpp"
#include "rvl_shel/rs_dlg.hpp"
#include "rvl_shel/rs_pages.hpp"
#include "rvl_shel/rs_prog.hpp"
#include "rvl_shel/rs_start.hpp"
#include "test_dir.hpp"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <iostream>

namespace {

QString folder;

void picture(QWidget& widget, const QString& name)
{
    widget.show();
    QApplication::processEvents();
    const QString file = folder + "/" + name + ".png";
    widget.grab().save(file);
    std::cout << file.toStdString() << std::endl;
}

class picturing_port : public ui_port {
public:
    bool box(box_kind kind, QWidget* owner, const QString& caption, const QString& text, bool) override
    {
        QMessageBox box(kind == box_kind::question ? QMessageBox::Question
                        : kind == box_kind::error  ? QMessageBox::Critical
                                                   : QMessageBox::Information,
                        caption, text,
                        kind == box_kind::question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, owner);
        picture(box, QString("box_%1").arg(++boxes));
        return false;
    }
    QString file(const file_request&) override { return {}; }
    void open_help(const QString&, std::function<void()>) override {}
    void beep() override {}
    int exec(QDialog& dialog) override
    {
        ++dialogs;
        picture(dialog, dialog.windowTitle() == QStringLiteral("Edit Table") ? QStringLiteral("dialog_135")
                                                                              : QString("dialog_%1").arg(dialogs));
        return dlg_continue;
    }
    int boxes = 0, dialogs = 0;
};

// The interactive wizard: the server login first, then back, and a CSV file
// into a dump through every page.
void picture_pages(const test_dir& dir)
{
    test_dir::write(dir.file("items.csv"), "id,name\n1,Nut\n");
    std::vector<uint32_t> seen;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        wizard_shell* shell = wizard_shell::try_instance();
        if (shell == nullptr || shell->current_page() == nullptr || !shell->isVisible())
            return;
        wizard_page_base* page = shell->current_page();
        const uint32_t id = page->get_id();
        if (!seen.empty() && seen.back() == id)
            return;
        seen.push_back(id);
        picture(*shell, QString("page_%1").arg(id));
        auto edit = [page](const char* name, const char* text) {
            page->findChild<QLineEdit*>(QString::fromUtf8(name))->setText(QString::fromUtf8(text));
        };
        auto combo = [page](const char* name, int index) {
            page->findChild<QComboBox*>(QString::fromUtf8(name))->setCurrentIndex(index);
        };
        const bool first_visit = std::count(seen.begin(), seen.end(), id) == 1;
        if (id == welcome_page_id) {
            combo("source", 1);
            combo("destination", first_visit ? 0 : 1);
        } else if (id == settings_page_id) {
            // The page with the most rows, at the smallest size the wizard takes.
            const QSize opened = shell->size();
            shell->resize(shell->minimumSize());
            QApplication::processEvents();
            picture(*shell, QString("page_%1_smallest").arg(id));
            shell->resize(opened);
            shell->button(wizard_button::back)->click();
            return;
        } else if (id == file_page_id) {
            edit("src", "items.csv");
            edit("dest", "items.sql");
        } else if (id == conversion_page_id) {
            edit("table", "items");
        } else if (id == delim_page_id) {
            page->findChild<QRadioButton*>(QStringLiteral("comma"))->setChecked(true);
            page->findChild<QPushButton*>(QStringLiteral("customize"))->click();  // the type editor
        } else if (id == progress_page_id) {
            return;
        } else if (id == finish_page_id) {
            user.stop();
            shell->button(wizard_button::finish)->click();
            return;
        }
        shell->button(wizard_button::next)->click();
    });
    user.start(1);
    ravelin_run("");
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    if (argc != 2) {
        std::cerr << "usage: rvl_screens <folder>" << std::endl;
        return 2;
    }
    folder = QString::fromLocal8Bit(argv[1]);
    std::filesystem::create_directories(argv[1]);
    folder = QString::fromStdString(std::filesystem::absolute(argv[1]).string());
    install_window_services();
    picturing_port port;
    set_ui_port(&port);

    test_dir dir;
    std::filesystem::copy_file(std::string(RVL_WORKBOOKS) + "/sheetjs.xlsx", dir.file("sheetjs.xlsx"));
    for (const char* types : {"sql.map", "sql.typ"})
        std::filesystem::copy_file(std::string(RVL_TYPES) + "/" + types, dir.file(types));
    test_dir::write(dir.file("job.rvl"), "[Generic settings]\nsrc=sheetjs.xlsx\ndest=out.sql\nmode=0\n"
                                         "[MySQL settings]\ndirect mode=0\n"
                                         "[MS Excel settings]\nconvert from xls=1\nextract field names=1\n"
                                         "[Type Mappings]\ntables:\n  - name: Data\n    fields:\n"
                                         "      - name:Text\n        type: INT\n");
    ::setenv("XDG_CONFIG_HOME", dir.file("config").c_str(), 1);
    std::filesystem::current_path(dir.path());

    bool progress_taken = false;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        wizard_shell* shell = wizard_shell::try_instance();
        if (shell == nullptr || shell->current_page() == nullptr || !shell->isVisible())
            return;
        if (!progress_taken && shell->current_page()->get_id() == progress_page_id) {
            progress_taken = true;
            picture(*shell, "page_progress");
        } else if (shell->current_page()->get_id() == finish_page_id) {
            watcher.stop();
            picture(*shell, "page_finish_errors");
            wizard_shell::question(L"Are you sure you want to exit the wizard?");
            shell->button(wizard_button::finish)->click();
        }
    });
    watcher.start(1);
    const int code = ravelin_run("job.rvl");

    picture_pages(dir);
    overwrite_dlg2 database(nullptr, L"Tessaline", L"The destination database already exists. Select one of the\n"
                                                   L"options below. Click 'Help' button for more information.",
                            1019, [](uint32_t) {});
    picture(database, "dialog_121");
    overwrite_dlg table(nullptr, L"Tessaline", 1019,
                        L"Table with the same name already exists. Click 'Help' button\nfor more information.",
                        [](uint32_t) {});
    picture(table, "dialog_120");
    set_query_dlg query(nullptr, L"expensive", L"SELECT * FROM [Data$] WHERE price > 1",
                        {[](bool, const std::wstring&) {}, [](const std::wstring&) { return false; }, [](uint32_t) {}});
    picture(query, "dialog_128");

    dlg_error_ex internal(L"Internal error: \ncode=675F7769");
    picture(internal, "dialog_internal_error");
    std::filesystem::current_path("/");
    // The job's worksheet fails on purpose: the run completes with errors (1).
    return code == 1 ? 0 : code;
}
