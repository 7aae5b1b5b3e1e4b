#include "rvl_shel/rs_cset.hpp"

#include "GUI2/g_guard.hpp"
#include "GUI2/g_uiport.hpp"
#include "GUI2/g_wiz_sh.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "common/over_dlg.hpp"
#include "rvl_conv/rvl_conv.hpp"
#include "rvl_shel/rs_file.hpp"
#include "rvl_shel/rs_prog.hpp"
#include "rvl_shel/rs_tmap.hpp"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <optional>

namespace {

ravelin_converter& converter() { return ravelin_converter::instance(); }

std::wstring first_word(const std::wstring& text) { return text.substr(0, text.find(L' ')); }

// The delimiter a CSV file's first line shows: of tab, ";" and "," (indexes
// 0 to 2), the one that stands there most often outside quotes; none when
// none does or two stand as often. A source that is no plain file (a pipe)
// is read by the run alone.
std::optional<int32_t> delimiter_in(const std::wstring& path)
{
    std::error_code failed;
    if (!std::filesystem::is_regular_file(std::filesystem::path(path), failed))
        return std::nullopt;
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    const std::string delimiters = "\t;,";
    std::array<size_t, 3> counts{};
    bool quoted = false;
    char c = 0;
    for (size_t read = 0; read < 65536 && file.get(c); ++read) {
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && (c == '\n' || c == '\r'))
            break;
        else if (const size_t at = delimiters.find(c); !quoted && at != std::string::npos)
            ++counts[at];
    }
    const auto most = std::max_element(counts.begin(), counts.end());
    if (*most == 0 || std::count(counts.begin(), counts.end(), *most) > 1)
        return std::nullopt;
    return static_cast<int32_t>(most - counts.begin());
}

bool same_ignoring_case(const std::wstring& a, const std::wstring& b)
{
    return QString::fromStdWString(a).compare(QString::fromStdWString(b), Qt::CaseInsensitive) == 0;
}

void fill(QComboBox* combo, const std::vector<std::wstring>& items, const std::wstring& setting)
{
    if (combo->count() == 0)
        for (const std::wstring& item : items)
            combo->addItem(qwide(item));
    combo->setCurrentIndex(combo_item_for(items, setting));
}

void show_ctrl(QWidget* control, int id, bool show)
{
    tk_logger::log(1, "wizard_page::show_ctrl(%d=%d)", id, show ? 1 : 0);
    control->setVisible(show);
}

// utf8 (utf8mb3) and utf8mb4 describe themselves alike; only one takes
// every character.
std::wstring charset_label(const std::wstring& item)
{
    const std::wstring name = first_word(item);
    if (same_ignoring_case(name, L"utf8mb4"))
        return item + L" (every character)";
    if (same_ignoring_case(name, L"utf8mb3"))
        return item + L" (no emoji, nothing beyond U+FFFF)";
    if (same_ignoring_case(name, L"utf8"))
        return item + L" (utf8mb3: no emoji, nothing beyond U+FFFF)";
    return item;
}

// The character set the page starts on: the user's, else utf8mb4 as the
// console's runs have it, where the list offers it.
std::wstring starting_char_set(const sql_engine& sql, const std::vector<std::wstring>& items)
{
    if (sql.has_char_set_choice() || combo_item_for(items, L"utf8mb4") < 0)
        return sql.get_char_set();
    return L"utf8mb4";
}

// As fill, for character sets: a setting the list lacks (utf8mb3 of a
// server, in a dump's list) is shown as an item of its own, never blank.
void fill_charsets(QComboBox* combo, const std::vector<std::wstring>& items, const std::wstring& setting)
{
    if (combo->count() == 0)
        for (const std::wstring& item : items)
            combo->addItem(qwide(charset_label(item)));
    int index = combo_item_for(items, setting);
    for (int i = static_cast<int>(items.size()); index < 0 && !setting.empty() && i < combo->count(); ++i)
        if (same_ignoring_case(first_word(combo->itemText(i).toStdWString()), setting))
            index = i;
    if (index < 0 && !setting.empty()) {
        combo->addItem(qwide(charset_label(setting)));
        index = combo->count() - 1;
    }
    combo->setCurrentIndex(index);
}

// The change of "Edit Table" that renames the CSV file's table, or null.
const sql_table_mutator* table_rename(const ravelin_converter& c)
{
    const sql_table_mutator* change = c.get_table_mutator3(c.tab_name);
    return change != nullptr && !change->new_name.empty() ? change : nullptr;
}

// The name the CSV file's table is written under, as the user gave it: the
// rename of "Edit Table", else the table name.
std::wstring given_table_name(const ravelin_converter& c)
{
    const sql_table_mutator* rename = table_rename(c);
    return rename != nullptr ? rename->new_name : c.tab_name;
}

// The CSV table's name as the run will write it (before it is made safe); a
// file other than the one the name was given for gets its base name first.
std::wstring csv_table_shown()
{
    ravelin_converter& c = converter();
    // A name given for another file is not this one's: its rows would
    // replace that table.
    if (c.tab_name_for != c.get_src()) {
        c.tab_name = c.get_src().empty() ? std::wstring() : c.default_csv_table();
        c.tab_name_for = c.get_src();
    }
    return given_table_name(c);
}

// The CSV table's name as the settings page stores it, given for the
// current file.
void store_table_name(ravelin_converter& c, const std::wstring& name)
{
    if (name.empty())
        return;  // Next refuses it; the name and its changes stay as they were
    // The field shows the rename of "Edit Table" where there is one: the
    // rename is what it changes, and the columns' changes stay.
    if (table_rename(c) != nullptr)
        c.get_table_mutator2(c.tab_name, name);
    else
        c.tab_name = name;
    c.tab_name_for = c.get_src();
}

// A CSV file going to a server: what to do with an existing table of the
// name the run writes. ask_create: a database that does not exist is asked
// about (else it was already). Sets the mode; wiz_stay when the user kept
// the page.
int settle_existing_table(QWidget* owner, bool ask_create)
{
    ravelin_converter& c = converter();
    tk_logger::wlog(1, L"GOT TABLE '%s'", c.tab_name.c_str());
    tk_logger::wlog(1, L"mysql_converter_impl::is_mysql_base_exist( %s )", c.get_dest().c_str());
    // Without a table of that name the run only ever replaces its own table:
    // a profile saved from this run must not drop the whole database.
    int32_t mode = 1;
    if (!c.engine.is_db_exist(c.get_dest())) {
        if (ask_create && !agree_to_create_database(c.get_dest()))
            return wiz_stay;
    } else if (const std::wstring table = c.csv_dest_table(); c.open_mysql_base(c.get_dest(), 4)->is_table_exist(table)) {
        // Named as the run names it: Overwrite drops that table.
        overwrite_dlg dialog(owner, wizard_shell::instance().get_title(), 1019,
                             L"Table '" + table + L"' already exists in database '" + c.get_dest() +
                                 L"'. Click 'Help' button\nfor more information.",
                             [](uint32_t topic) { wizard_shell::display_help(topic); });
        const int answer = ui().exec(dialog);
        if (answer != overwrite_dlg::overwrite && answer != overwrite_dlg::merge)
            return wiz_stay;
        // Overwrite: the run drops the table when it starts, not now.
        mode = answer == overwrite_dlg::merge ? 3 : 1;
    }
    c.set_mode(mode);
    return wiz_order;
}

} // namespace

int combo_item_for(const std::vector<std::wstring>& items, const std::wstring& setting)
{
    if (setting.empty())
        return -1;
    for (size_t i = 0; i < items.size(); ++i)
        if (same_ignoring_case(first_word(items[i]), setting))
            return static_cast<int>(i);
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].size() >= setting.size() && same_ignoring_case(items[i].substr(0, setting.size()), setting))
            return static_cast<int>(i);
    return -1;
}

conversion_settings::conversion_settings()
    : charset(named(new QComboBox(this), "charset")),
      engine(named(new QComboBox(this), "engine")),
      field_names(named(new QCheckBox(QStringLiteral("E&xtract field names from the first row"), this),
                        "field_names")),
      skip_empty(named(new QCheckBox(QStringLiteral("&Skip empty rows"), this), "skip_empty")),
      refine(named(new QCheckBox(QStringLiteral("&Refine type conversion"), this), "refine")),
      structure_only(named(new QCheckBox(QStringLiteral("&Do not migrate the data"), this), "structure_only")),
      table_label(named(new QLabel(QStringLiteral("MySQL &table name:"), this), "table_label")),
      table(named(new QLineEdit(this), "table"))
{
    table_label->setBuddy(table);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("On this wizard page you can specify conversion settings."), this));
    auto* combos = new QFormLayout;
    combos->addRow(QStringLiteral("&MySQL character set:"), charset);
    combos->addRow(QStringLiteral("MySQL &engine type:"), engine);
    layout->addLayout(combos);
    for (QWidget* w : std::initializer_list<QWidget*>{field_names, skip_empty, refine, structure_only, table_label,
                                                       table})
        layout->addWidget(w);
    layout->addStretch();
}

int conversion_settings::page_init()
{
    tk_logger::log(2, "conversion_settings::page_init");
    const ravelin_converter& c = converter();
    show_ctrl(field_names, 1222, c.from_xls);
    show_ctrl(refine, 1203, c.from_xls);
    show_ctrl(skip_empty, 1204, c.from_xls);
    show_ctrl(structure_only, 1205, c.from_xls);
    show_ctrl(table_label, 1310, !c.from_xls);
    show_ctrl(table, 1005, !c.from_xls);
    if (c.from_xls) {
        field_names->setChecked(c.x_fnames);
        refine->setChecked(c.refine_types);
        skip_empty->setChecked(c.skip_empty_rows);
        structure_only->setChecked(c.tab_def);
    } else {
        table->setText(qwide(csv_table_shown()));
    }
    fill_combos();
    return 1;
}

void conversion_settings::fill_combos()
{
    sql_engine& sql = converter().engine;
    if (charset->count() == 0)
        tk_logger::log(1, "Initializing charset combobox");
    const std::vector<std::wstring> sets = sql.get_charsets();
    fill_charsets(charset, sets, starting_char_set(sql, sets));
    if (engine->count() == 0)
        tk_logger::log(1, "Initializing engines combobox");
    fill(engine, sql.get_storage_engines(), sql.get_tab_type());
}

void conversion_settings::on_help() { wizard_shell::display_help(1023); }

void conversion_settings::store_file_info()
{
    tk_logger::log(1, "conversion_settings::store_file_info");
    ravelin_converter& c = converter();
    if (c.from_xls) {
        c.x_fnames = field_names->isChecked();
        c.refine_types = refine->isChecked();
        c.skip_empty_rows = skip_empty->isChecked();
        c.tab_def = structure_only->isChecked();
    } else {
        // The CSV pages do not show "Do not migrate the data": a choice made
        // for a workbook does not take a CSV run's rows away.
        c.tab_def = false;
        store_table_name(c, text_of(table));
        tk_logger::wlog(1, L"sel_file_page::store_file_info(tab_name=%s)", c.tab_name.c_str());
    }
    const std::wstring set = charset->currentText().toStdWString();
    if (set.empty()) {
        tk_logger::log(2, "Failed to exract text from charset COMBO");
    } else {
        tk_logger::wlog(1, L"got charset1=%s", set.c_str());
        c.engine.set_char_set(first_word(set));
        tk_logger::wlog(1, L"got charset2=%s", first_word(set).c_str());
    }
    const std::wstring type = engine->currentText().toStdWString();
    if (type.empty()) {
        tk_logger::log(2, "Failed to exract text from engines COMBO");
    } else {
        tk_logger::wlog(1, L"got tab_type=%s", type.c_str());
        c.engine.set_tab_type(type);
    }
}

int conversion_settings::on_back()
{
    store_file_info();
    return static_cast<int>(file_page_id);
}

int conversion_settings::on_next()
{
    tk_logger::log(2, "conversion_settings::on_next");
    store_file_info();
    const ravelin_converter& c = converter();
    if (c.from_xls)
        return static_cast<int>(sheets_page_id);
    if (table->text().isEmpty()) {
        wizard_shell::message(L"You should specify MySQL table name");
        return wiz_stay;
    }
    if (c.direct && settle_existing_table(this, true) == wiz_stay)
        return wiz_stay;
    return static_cast<int>(delim_page_id);
}

delim_page::delim_page()
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        new QLabel(QStringLiteral("On this page you can specify how to interpret your CSV file."), this));
    auto* group = new QGroupBox(QStringLiteral(" Select the delimiter that separates your fields: "), this);
    auto* group_layout = new QHBoxLayout(group);
    const char* const labels[] = {"&Tab", "&Semicolon", "&Comma", "S&pace"};
    const char* const names[] = {"tab", "semicolon", "comma", "space"};
    for (int i = 0; i < 4; ++i) {
        delimiters[i] = named(new QRadioButton(QString::fromUtf8(labels[i]), group), names[i]);
        group_layout->addWidget(delimiters[i]);
        // Tab, either way, enters the group at its choice; the arrows move
        // the choice within it.
        connect(delimiters[i], &QRadioButton::toggled, delimiters[i], [button = delimiters[i]](bool on) {
            button->setFocusPolicy(on ? Qt::StrongFocus : Qt::ClickFocus);
        });
        delimiters[i]->setFocusPolicy(Qt::ClickFocus);
    }
    // Made after the delimiters, so Tab goes down the page as it reads.
    field_names = named(new QCheckBox(QStringLiteral("&Extract field names from the first row"), this), "field_names");
    refine = named(new QCheckBox(QStringLiteral("&Refine type conversion"), this), "refine");
    customize = named(new QPushButton(QStringLiteral("C&ustomize types..."), this), "customize");
    layout->addWidget(group);
    layout->addWidget(field_names);
    layout->addWidget(refine);
    layout->addWidget(customize, 0, Qt::AlignLeft);
    layout->addStretch();
    connect(customize, &QPushButton::clicked, this, [this] { ui_guard([this] { on_cust_types(); }); });
}

void delim_page::on_cust_types()
{
    tk_logger::log(1, "delim_page::on_cust_types");
    store();
    open_types_editor(this, converter().tab_name);
}

int delim_page::page_init()
{
    tk_logger::log(1, "delim_page::page_init");
    const ravelin_converter& c = converter();
    // None chosen yet (or a value out of range from elsewhere): the file's
    // own, else the default.
    const int32_t index = c.n_comma >= 0 && c.n_comma <= 3 ? c.n_comma : delimiter_in(c.get_src()).value_or(1);
    delimiters[index]->setChecked(true);
    delimiters[index]->setFocus();
    field_names->setChecked(c.x_fnames);
    refine->setChecked(c.refine_types);
    settled_table = c.csv_dest_table();
    return 1;
}

void delim_page::on_help() { wizard_shell::display_help(1013); }

void delim_page::store()
{
    ravelin_converter& c = converter();
    for (int32_t i = 0; i < 4; ++i)
        if (delimiters[i]->isChecked()) {
            c.n_comma = i;
            break;
        }
    c.x_fnames = field_names->isChecked();
    c.refine_types = refine->isChecked();
}

int delim_page::on_next()
{
    store();
    // "Edit Table" may have renamed the table: an existing table of the new
    // name is asked about as the settings page asks about its name.
    const ravelin_converter& c = converter();
    if (c.direct && c.csv_dest_table() != settled_table) {
        if (settle_existing_table(this, false) == wiz_stay)
            return wiz_stay;
        settled_table = c.csv_dest_table();
    }
    return static_cast<int>(progress_page_id);
}

int delim_page::on_back()
{
    store();
    return static_cast<int>(file_page_id);
}
