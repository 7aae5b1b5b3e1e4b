// rvl_screens <folder>: a picture of every page and dialog of the wizard, for
// a human look (tools/screens.sh runs it under xvfb-run). Not a test: it runs
// a saved conversion whose first worksheet fails, and a port that pictures
// each box and dialog before it answers with its default.
#include "GUI2/g_uiport.hpp"
#include "GUI2/g_wiz_pg.hpp"
#include "GUI2/g_wiz_sh.hpp"
#include "rvl_shel/rs_dlg.hpp"
#include "rvl_shel/rs_prog.hpp"
#include "rvl_shel/rs_start.hpp"
#include "test_dir.hpp"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

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
    bool open_help(const QString&) override { return true; }
    void beep() override {}
    int exec(QDialog& dialog) override
    {
        picture(dialog, QString("dialog_%1").arg(++dialogs));
        return dlg_continue;
    }
    int boxes = 0, dialogs = 0;
};

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

    dlg_error_ex internal(L"Internal error: \ncode=675F7769");
    picture(internal, "dialog_internal_error");
    std::filesystem::current_path("/");
    return code;
}
