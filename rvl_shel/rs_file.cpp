#include "rvl_shel/rs_file.hpp"

#include "DAO/dao_db.hpp"
#include "DAO/dao_engi.hpp"
#include "GUI2/g_f_dlg.hpp"
#include "GUI2/g_guard.hpp"
#include "GUI2/g_uiport.hpp"
#include "GUI2/g_wiz_sh.hpp"
#include "TK/tk_errco.hpp"
#include "TK/tk_files.hpp"
#include "TK/tk_fname.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "common/over_dlg.hpp"
#include "rvl_conv/rvl_conv.hpp"
#include "rvl_conv/rvl_errt.hpp"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <filesystem>

namespace {

ravelin_converter& converter() { return ravelin_converter::instance(); }

// The messages of the engines' failures, by code: the server's, DAO's, and
// the first two of the workbook's.
std::string known_message(const tk_exception& e, bool with_server)
{
    tk_error_converter messages(dao_err_map_size, dao_err_map);
    messages.load_map(2, xls_err_map);
    if (with_server)
        messages.load_map(mysql_err_map_size, mysql_err_map);
    const std::string known = messages.convert(e.get_code());
    return known.empty() ? std::string(e.what()) : known;
}

std::wstring name_part(const std::wstring& path) { return tk_file_wname(path).name; }

// A workbook that does not open: the known message of its failure, else that
// the file is no readable workbook, with the reader's cause.
std::wstring unreadable_workbook(const tk_exception& e, const std::wstring& path)
{
    const std::string known = known_message(e, false);
    if (known != e.what())
        return tk_to_unicode(known);
    return L"The file '" + path + L"' is not a readable MS Excel workbook.\nCause: " + tk_to_unicode(known);
}

// Only a plain file is read on the page: a named pipe or a device gives its
// bytes once, and they belong to the run.
bool is_plain_file(const std::wstring& path)
{
    std::error_code failed;
    return std::filesystem::is_regular_file(std::filesystem::path(path), failed);
}

// Each Browse button has a key of its own, none of the page's labels' nor
// the wizard's buttons'.
QPushButton* browse_button(QWidget* parent, const char* text, const char* name)
{
    return named(new QPushButton(QString::fromLatin1(text), parent), name);
}

} // namespace

std::wstring make_dest_file_name(const std::wstring& path, const std::wstring& name, const std::wstring& ext)
{
    tk_file_wname file(path);
    file.name = name;
    file.ext = L"." + ext;
    return file.make_path();
}

sel_file_page::sel_file_page()
    : intro(named(new QLabel(this), "intro")),
      src_label(named(new QLabel(this), "src_label")),
      dest_label(named(new QLabel(this), "dest_label")),
      src(named(new QLineEdit(this), "src")),
      dest(named(new QLineEdit(this), "dest")),
      log(named(new QLineEdit(this), "log")),
      browse_src(browse_button(this, "B&rowse...", "browse_src")),
      browse_dest(browse_button(this, "Br&owse...", "browse_dest")),
      browse_log(browse_button(this, "Bro&wse...", "browse_log"))
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    auto* grid = new QGridLayout;
    grid->addWidget(src_label, 0, 0, 1, 2);
    grid->addWidget(src, 1, 0);
    grid->addWidget(browse_src, 1, 1);
    grid->addWidget(dest_label, 2, 0, 1, 2);
    grid->addWidget(dest, 3, 0);
    grid->addWidget(browse_dest, 3, 1);
    auto* log_label = new QLabel(QStringLiteral("&Log file (leave blank to disable logging):"), this);
    src_label->setBuddy(src);
    dest_label->setBuddy(dest);
    log_label->setBuddy(log);
    grid->addWidget(log_label, 4, 0, 1, 2);
    grid->addWidget(log, 5, 0);
    grid->addWidget(browse_log, 5, 1);
    layout->addLayout(grid);
    layout->addStretch();
    // Each field's Browse button comes right after it.
    setTabOrder(src, browse_src);
    setTabOrder(browse_src, dest);
    setTabOrder(dest, browse_dest);
    setTabOrder(browse_dest, log);
    setTabOrder(log, browse_log);
    dest->installEventFilter(this);
    log->installEventFilter(this);
    connect(browse_src, &QPushButton::clicked, this, [this] { ui_guard([this] { on_browse_src(); }); });
    connect(browse_dest, &QPushButton::clicked, this, [this] {
        ui_guard([this] {
            save_file_dialog dialog(this, {{L"MySQL Dump Files (.sql)", L"*.sql"}}, L"Select Dump File",
                                    text_of(dest), L"sql");
            if (dialog.show())
                dest->setText(qwide(dialog.get_path()));
        });
    });
    connect(browse_log, &QPushButton::clicked, this, [this] {
        ui_guard([this] {
            save_file_dialog dialog(this, {{L"Log Files (.log)", L"*.log"}}, L"Select Log File", text_of(log),
                                    L"log");
            if (dialog.show())
                log->setText(qwide(dialog.get_path()));
        });
    });
}

// Focus moves while the fields are destroyed; the page is half gone then.
sel_file_page::~sel_file_page()
{
    dest->removeEventFilter(this);
    log->removeEventFilter(this);
}

int sel_file_page::page_init()
{
    tk_logger::log(1, "sel_file_page::page_init");
    const ravelin_converter& c = converter();
    tk_logger::log(1, "wizard_page::show_ctrl(%d=%d)", 1104, c.direct ? 0 : 1);
    browse_dest->setVisible(!c.direct);
    const QString target = c.direct ? QStringLiteral("target MySQL database") : QStringLiteral("target dump file");
    intro->setText(c.from_xls ? QStringLiteral("Select source MS Excel spreadsheet and %1.\n"
                                               "Click 'Browse' to find MS Excel file through directory tree.")
                                    .arg(target)
                              : QStringLiteral("Select source CSV file, %1 and log file.\n"
                                               "Click 'Browse' to find CSV file through directory tree.")
                                    .arg(target));
    src_label->setText(c.from_xls ? QStringLiteral("MS &Excel spreadsheet name:")
                                  : QStringLiteral("&Comma separated values (CSV) file name:"));
    dest_label->setText(c.direct ? QStringLiteral("MySQL &database name:") : QStringLiteral("&Dump file path:"));
    // A field whose kind changed shows that kind's value, empty or not,
    // never the other kind's.
    const bool src_kind_changed = shown_xls && *shown_xls != c.from_xls;
    const bool dest_kind_changed = shown_direct && *shown_direct != c.direct;
    shown_xls = c.from_xls;
    shown_direct = c.direct;
    if (!c.get_src().empty() || src_kind_changed)
        src->setText(qwide(c.get_src()));
    if (!c.get_dest().empty()) {
        dest->setText(qwide(c.get_dest()));
    } else if (!c.get_src().empty()) {
        suggested = c.direct ? name_part(c.get_src()) : make_dest_file_name(c.get_src(), name_part(c.get_src()), L"sql");
        dest->setText(qwide(suggested));
    } else if (dest_kind_changed) {
        dest->clear();
    }
    // Empty included: a profile without a log runs without one.
    log->setText(QString::fromStdString(c.get_logfile()));
    return 1;
}

void sel_file_page::on_help() { wizard_shell::display_help(1015); }

bool sel_file_page::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn && (watched == dest || watched == log) && !src->text().isEmpty())
        ui_guard([this] { suggest_dest(text_of(src)); });
    return wizard_page::eventFilter(watched, event);
}

void sel_file_page::suggest_dest(const std::wstring& source)
{
    const ravelin_converter& c = converter();
    if (!c.from_xls)
        return;
    const std::wstring typed = text_of(dest);
    if (!typed.empty() && typed != suggested)
        return;
    suggested = c.direct ? name_part(source) : make_dest_file_name(typed, name_part(source), L"sql");
    dest->setText(qwide(suggested));
}

void sel_file_page::on_browse_src()
{
    const ravelin_converter& c = converter();
    const file_filter filter = c.from_xls ? file_filter{{L"MS Excel Workbooks (.xls;.xlsx;.xlsm)", L"*.xls;*.xlsx;*.xlsm"}}
                                          : file_filter{{L"Comma separated values (.csv)", L"*.csv"}};
    open_file_dialog dialog(this, filter, L"Select data source to convert", text_of(src));
    if (!dialog.show())
        return;
    src->setText(qwide(dialog.get_path()));
    suggest_dest(dialog.get_path());
}

void sel_file_page::store()
{
    ravelin_converter& c = converter();
    c.set_src(text_of(src));
    c.set_dest(text_of(dest));
    c.set_logfile(log->text().toStdString());
}

int sel_file_page::on_back()
{
    try {
        store();
    } catch (const tk_exception& e) {
        wizard_shell::error(std::string(e.what()));
        return wiz_stay;
    }
    return static_cast<int>(converter().direct ? settings_page_id : dump_page_id);
}

bool sel_file_page::check_xls(const std::wstring& path)
{
    tk_logger::log(1, "sel_file_page::check_xls");
    std::unique_ptr<dao_engine> engine = xls_reader::create_dao_engine();
    if (!engine)
        throw tk_exception(dao_missing_message, 1);
    try {
        xls_reader::open_xls(*engine, path, converter().x_fnames);
    } catch (const dao_exception& e) {
        wizard_shell::error(unreadable_workbook(e, path));
        return false;
    }
    return true;
}

int sel_file_page::on_next()
{
    tk_logger::log(1, "sel_file_page::on_next");
    try {
        store();
        tk_logger::log(1, "is_direct=%d", converter().direct ? 1 : 0);
        if (check_fields() == wiz_stay)
            return wiz_stay;
        converter().refuse_same_files();
        return converter().direct ? check_server_dest() : check_dump_dest();
    } catch (const tk_exception& e) {
        wizard_shell::error(known_message(e, true));
        return wiz_stay;
    }
}

int sel_file_page::check_fields()
{
    const ravelin_converter& c = converter();
    if (c.get_src().empty()) {
        wizard_shell::message(L"You should enter the source file name");
        return wiz_stay;
    }
    if (!tk_is_file_exist2(c.get_src(), tk_exist_not_folder)) {
        wizard_shell::error(L"Source file '" + c.get_src() +
                            L"' does not exist.\r\nPlease verify the correct file name was given.");
        return wiz_stay;
    }
    if (c.get_dest().empty()) {
        wizard_shell::message(c.direct ? L"You should enter MySQL database name" : L"You should enter dump file name");
        return wiz_stay;
    }
    const bool plain = is_plain_file(c.get_src());
    if (c.from_xls && plain && !check_xls(c.get_src()))
        return wiz_stay;
    if (const std::wstring failure = c.from_xls || !plain ? std::wstring() : workbook_as_csv_failure(c.get_src());
        !failure.empty()) {
        wizard_shell::error(failure + L"\nChoose \"MS Excel spreadsheet\" as the source on the first page.");
        return wiz_stay;
    }
    return wiz_order;
}

int sel_file_page::check_server_dest()
{
    ravelin_converter& c = converter();
    c.check_mysql_db_name(c.get_dest());
    if (c.from_xls && c.is_mysql_base_exist(c.get_dest())) {
        tk_logger::log(1, "MySQL DB exists...");
        overwrite_dlg2 dialog(this, wizard_shell::instance().get_title(),
                              L"The destination database '" + c.get_dest() +
                                  L"' already exists. Select one of the\noptions below. Click 'Help' button for "
                                  L"more information.",
                              1019, [](uint32_t topic) { wizard_shell::display_help(topic); });
        if (ui().exec(dialog) != QDialog::Accepted)
            return wiz_stay;
        // Mode 0 drops the database when the run starts, not before.
        c.set_mode(static_cast<int32_t>(dialog.get_mode()));
    } else if (c.from_xls && !agree_to_create_database(c.get_dest())) {
        return wiz_stay;
    }
    return static_cast<int>(conversion_page_id);
}

bool agree_to_create_database(const std::wstring& name)
{
    tk_logger::log(1, "MySQL DB not exists...");
    return wizard_shell::question(L"Destination database '" + name + L"' doesn't exist. Create it?");
}

int sel_file_page::check_dump_dest()
{
    const ravelin_converter& c = converter();
    common_check_dest(c.get_dest());
    // The run replaces an existing file only once the new dump is complete.
    if (tk_is_file_exist2(c.get_dest(), tk_exist_not_folder) &&
        !wizard_shell::question(L"Destination file '" + c.get_dest() + L"' already exists. Overwrite?"))
        return wiz_stay;
    return static_cast<int>(conversion_page_id);
}
