#include "rvl_shel/rs_welc.hpp"

#include "GUI2/g_f_dlg.hpp"
#include "GUI2/g_guard.hpp"
#include "GUI2/g_wiz_sh.hpp"
#include "SQL/sql_exc.hpp"
#include "TK/tk_errco.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "UDB/udb_prof.hpp"
#include "common/dmp_form.hpp"
#include "rvl_conv/rvl_conv.hpp"
#include "rvl_conv/rvl_errt.hpp"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

ravelin_converter& converter() { return ravelin_converter::instance(); }

QLabel* text_line(QWidget* parent, const char* text) { return new QLabel(QString::fromUtf8(text), parent); }

} // namespace

welcome_page::welcome_page(const std::wstring& extension_)
    : heading(named(new QLabel(QStringLiteral("Welcome to Tessaline\nConversion Wizard\n"), this), "heading")),
      load_button(named(new QPushButton(QStringLiteral("&Load settings..."), this), "load")),
      source(named(new QComboBox(this), "source")),
      destination(named(new QComboBox(this), "destination")),
      extension(extension_)
{
    QFont font = QApplication::font();
    font.setPointSize(13);
    heading->setFont(font);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(text_line(this, "This wizard helps you to convert Microsoft Excel data or CSV files"));
    layout->addWidget(text_line(this, "into MySQL format. Click 'Next' to continue."));
    layout->addStretch();
    layout->addWidget(load_button, 0, Qt::AlignLeft);
    auto* combos = new QFormLayout;
    combos->addRow(QStringLiteral("&Source:"), source);
    combos->addRow(QStringLiteral("&Destination:"), destination);
    layout->addLayout(combos);
    connect(load_button, &QPushButton::clicked, this, [this] { ui_guard([this] { on_load(); }); });
}

int welcome_page::page_init()
{
    tk_logger::log(1, "welcome_page::page_init");
    fill_combos();
    return 1;
}

void welcome_page::on_help() { wizard_shell::display_help(1012); }

void welcome_page::fill_combos()
{
    if (source->count() == 0) {
        source->addItems({QStringLiteral("MS Excel spreadsheet"), QStringLiteral("CSV file")});
        destination->addItems({QStringLiteral("MySQL server"), QStringLiteral("Local dump file")});
    }
    source->setCurrentIndex(converter().from_xls ? 0 : 1);
    destination->setCurrentIndex(converter().direct ? 0 : 1);
}

int welcome_page::on_next()
{
    tk_logger::log(1, "welcome_page::on_next");
    ravelin_converter& c = converter();
    const bool from_xls = source->currentIndex() == 0;
    const bool direct = destination->currentIndex() == 0;
    if (from_xls != c.from_xls) {
        const std::wstring held = c.get_src();
        c.set_src(other_src);
        other_src = held;
    }
    if (direct != c.direct) {
        const std::wstring held = c.get_dest();
        c.set_dest(other_dest);
        other_dest = held;
    }
    c.from_xls = from_xls;
    tk_logger::log(1, "from_xls=%d", c.from_xls ? 1 : 0);
    c.direct = direct;
    tk_logger::log(1, "is_direct=%d", c.direct ? 1 : 0);
    return static_cast<int>(c.direct ? settings_page_id : dump_page_id);
}

void welcome_page::on_load()
{
    const std::wstring filter = L"Profile Files (." + extension + L")|*." + extension + L"|All Files (*.*)|*.*|";
    tk_logger::wlog(1, L"welcome_page_t::on_load(%s)", filter.c_str());
    if (extension.size() != 3 && extension.size() != 4)
        throw tk_mail_assertion("g_finish", 266);
    open_file_dialog dialog(this, parse_filter(filter), L"Select Profile", L"");
    const bool chosen = dialog.show();
    if (chosen)
        load(dialog.get_path());
    fill_combos();
}

void welcome_page::load(const std::wstring& path)
{
    udb_profile profile;
    if (!profile.load(path)) {
        wizard_shell::error(ravelin_converter::unreadable_profile(path, profile));
        return;
    }
    if (const std::string failure = ravelin_converter::profile_failure(profile, path); !failure.empty()) {
        wizard_shell::error(failure);
        return;
    }
    ravelin_converter& c = converter();
    // The profile's lists replace those in hand.
    c.sel_queries.clear();
    c.available_queries.clear();
    c.selected_views.clear();
    c.load_from_profile(profile);
    // The profile's paths are those of its kinds; others it has none.
    other_src.clear();
    other_dest.clear();
}

dump_page::dump_page() : form(new dump_form(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(form);
}

int dump_page::page_init()
{
    tk_logger::log(1, "sql_dump_page<t_converter>::page_init");
    const dump_options& options = converter().dump_opts;
    (options.b_new_ver ? form->new_version : form->old_version)->setChecked(true);
    (options.n_line_break != 0 ? form->lf : form->crlf)->setChecked(true);
    form->lock_write->setChecked(options.b_lock_write);
    form->ins_db->setChecked(options.b_ins_db);
    form->ins_tables->setChecked(options.b_ins_tables);
    form->ins_comments->setChecked(options.b_ins_comments);
    form->follow_tables();
    return 1;
}

void dump_page::on_help() { wizard_shell::display_help(1020); }

void dump_page::store()
{
    ravelin_converter& c = converter();
    dump_options& options = c.dump_opts;
    options.b_lock_write = form->lock_write->isChecked();
    options.b_ins_db = form->ins_db->isChecked();
    options.b_ins_tables = form->ins_tables->isChecked();
    options.b_ins_comments = form->ins_comments->isChecked();
    options.b_new_ver = form->new_version->isChecked();
    c.engine.set_server_version(options.b_new_ver ? 0x040100 : 0x031401);
    options.n_line_break = form->crlf->isChecked() ? 0 : 1;
}

int dump_page::on_next()
{
    store();
    return static_cast<int>(file_page_id);
}

int dump_page::on_back()
{
    store();
    return wiz_order;
}

settings_page::settings_page()
    : local(named(new QRadioButton(QStringLiteral("&Local"), this), "local")),
      remote(named(new QRadioButton(QStringLiteral("&Remote"), this), "remote")),
      user(named(new QLineEdit(this), "user")),
      password(named(new QLineEdit(this), "password")),
      host(named(new QLineEdit(this), "host")),
      port(named(new QLineEdit(this), "port"))
{
    password->setEchoMode(QLineEdit::Password);
    // Disabled, they still keep a field's height.
    for (QLineEdit* field : {host, port})
        field->setMinimumHeight(field->sizeHint().height());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_line(this, "Provide necessary information to establish connection with MySQL server."));
    auto* mode = new QGroupBox(QStringLiteral(" Access mode "), this);
    auto* mode_layout = new QHBoxLayout(mode);
    mode_layout->addWidget(local);
    mode_layout->addWidget(remote);
    auto* login = new QGroupBox(QStringLiteral(" Authorization settings "), this);
    auto* login_layout = new QFormLayout(login);
    login_layout->addRow(QStringLiteral("&User name:"), user);
    login_layout->addRow(QStringLiteral("User pa&ssword:"), password);
    auto* far = new QGroupBox(QStringLiteral(" Remote settings "), this);
    auto* far_layout = new QFormLayout(far);
    far_layout->addRow(QStringLiteral("H&ost:"), host);
    far_layout->addRow(QString(), text_line(far, "(it could be network name or IP address)"));
    far_layout->addRow(QStringLiteral("&Port:"), port);
    far_layout->addRow(QString(), text_line(far, "(default MySQL port is 3306)"));
    for (QWidget* w : {static_cast<QWidget*>(mode), static_cast<QWidget*>(login), static_cast<QWidget*>(far)})
        layout->addWidget(w);
    layout->addStretch();
    connect(local, &QRadioButton::clicked, this, [this] { enable_remote(false); });
    connect(remote, &QRadioButton::clicked, this, [this] {
        enable_remote(true);
        host->setFocus();
    });
}

void settings_page::enable_remote(bool enable)
{
    tk_logger::log(1, "wizard_page::enable_ctrl(%d=%d)", 1014, enable ? 1 : 0);
    host->setEnabled(enable);
    tk_logger::log(1, "wizard_page::enable_ctrl(%d=%d)", 1015, enable ? 1 : 0);
    port->setEnabled(enable);
}

int settings_page::page_init()
{
    tk_logger::log(1, "sql_settings_page2<t_converter>::page_init");
    const ravelin_converter& c = converter();
    user->setText(QString::fromStdString(c.user));
    password->setText(QString::fromStdString(c.pswd));
    const bool far = !c.host.empty();
    (far ? remote : local)->setChecked(true);
    (far ? remote : local)->setFocus();
    enable_remote(far);
    if (far) {
        host->setText(QString::fromStdString(c.host));
        port->setText(QString::fromStdString(c.port));
    }
    return 1;
}

void settings_page::on_help() { wizard_shell::display_help(1010); }

void settings_page::store()
{
    std::string host_text;
    std::string port_text = "3306";
    if (remote->isChecked()) {
        host_text = host->text().toStdString();
        port_text = port->text().toStdString();
    }
    converter().store_mysql_settings(host_text, user->text().toStdString(), password->text().toStdString(),
                                     port_text);
}

int settings_page::on_next()
{
    tk_logger::log(2, "sql_settings_page2::on_next");
    // The client library would log in as the system's user instead.
    if (user->text().trimmed().isEmpty()) {
        wizard_shell::message(L"You should enter the MySQL user name");
        user->setFocus();
        return wiz_stay;
    }
    store();
    tk_logger::log(2, "Just before t_converter::ptr()->connect_mysql_server");
    try {
        converter().connect_mysql_server();
        return wiz_order;
    } catch (const sql_auth_not_supported_exception& e) {
        tk_logger::log(1, "Got sql_auth_not_supported_exception");
        wizard_shell::error(std::string(e.what()));
        wizard_shell::display_help(1017);
    } catch (const tk_exception& e) {
        tk_logger::log(2, "Got tk_exception");
        const std::string known = tk_error_converter(mysql_err_map_size, mysql_err_map).convert(e.get_code());
        // The client's own words name the host and port it tried.
        wizard_shell::error(known.empty() ? std::string(e.what()) : known + "\nCause: " + e.what());
        const uint32_t number = e.get_code() & 0xFFFF;
        if (number == 0x4E1 || number == 0x4E2)
            wizard_shell::display_help(1017);
    }
    return wiz_stay;
}

int settings_page::on_back() { return static_cast<int>(welcome_page_id); }
