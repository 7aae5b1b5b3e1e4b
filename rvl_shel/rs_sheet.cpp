#include "rvl_shel/rs_sheet.hpp"

#include "DAO/dao_engi.hpp"
#include "GUI2/g_guard.hpp"
#include "GUI2/g_uiport.hpp"
#include "GUI2/g_wiz_sh.hpp"
#include "TK/tk_log.hpp"
#include "common/over_dlg.hpp"
#include "platform/text/pl_case.hpp"
#include "rvl_conv/rvl_conv.hpp"
#include "rvl_shel/rs_prog.hpp"
#include "rvl_shel/rs_tmap.hpp"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace {

ravelin_converter& converter() { return ravelin_converter::instance(); }

// An item shows the table its worksheet becomes; the converter knows it by
// its name, kept beside, and the lists keep the workbook's order.
constexpr int name_role = Qt::UserRole;
constexpr int order_role = Qt::UserRole + 1;
// Queries follow the worksheets, by name.
constexpr int query_order = std::numeric_limits<int>::max();

class sheet_item : public QListWidgetItem {
public:
    sheet_item(const std::wstring& name, int order) : QListWidgetItem(qwide(name))
    {
        setData(name_role, qwide(name));
        setData(order_role, order);
    }
    bool operator<(const QListWidgetItem& other) const override
    {
        const int mine = data(order_role).toInt();
        const int theirs = other.data(order_role).toInt();
        if (mine != theirs)
            return mine < theirs;
        return text().compare(other.text(), Qt::CaseInsensitive) < 0;
    }
};

std::wstring name_of(const QListWidgetItem* item)
{
    const QVariant name = item->data(name_role);
    return (name.isValid() ? name.toString() : item->text()).toStdWString();
}

// A worksheet whose table is renamed (Edit Table) or made safe shows the
// name the run writes too.
QString label_of(const std::wstring& sheet)
{
    const std::wstring table = converter().dest_table_of(sheet);
    return qwide(table == sheet ? sheet : sheet + L" (table '" + table + L"')");
}

QListWidget* sheet_list(QWidget* parent, const char* name)
{
    auto* list = named(new QListWidget(parent), name);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setSortingEnabled(true);
    return list;
}

// The name of the item moved.
std::wstring move_row(QListWidget* from, int row, QListWidget* to)
{
    QListWidgetItem* item = from->takeItem(row);
    to->addItem(item);
    return name_of(item);
}

bool holds(const QListWidget* list, const std::wstring& name)
{
    for (int i = 0; i < list->count(); ++i)
        if (qwide(name_of(list->item(i))).compare(qwide(name), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// The row of the item of exactly that name, or -1.
int row_named(const QListWidget* list, const std::wstring& name)
{
    for (int i = 0; i < list->count(); ++i)
        if (name_of(list->item(i)) == name)
            return i;
    return -1;
}

auto pair_named(std::vector<std::pair<std::wstring, std::wstring>>& pairs, const std::wstring& name)
{
    return std::find_if(pairs.begin(), pairs.end(), [&name](const auto& p) { return p.first == name; });
}

// The current item is selected too: a focus frame alone is hard to see.
void highlight(QListWidget* list, int row) { list->setCurrentRow(row, QItemSelectionModel::ClearAndSelect); }

// Two selected worksheets whose tables take one name: the run would write
// one of them under a name the user never gave. False, after saying so.
bool tables_apart(const ravelin_converter& c, const std::vector<std::wstring>& sheets)
{
    for (size_t i = 0; i < sheets.size(); ++i)
        for (size_t j = i + 1; j < sheets.size(); ++j) {
            const std::wstring table = c.destination_name(sheets[i]);
            if (!platform::equal_table_names(table, c.destination_name(sheets[j])))
                continue;
            wizard_shell::error(L"The worksheets " + sheets[i] + L" and " + sheets[j] +
                                L" would both be written into the table '" + table +
                                L"'. Give one of them another table name in Edit Table (double click it).");
            return false;
        }
    return true;
}

// A run that replaces existing tables (a server database's "Overwrite
// existing tables only") names each one, by the name the run writes, before
// anything is replaced. True to go on.
bool replacing_confirmed(ravelin_converter& c)
{
    if (!c.direct || c.get_mode() != 1 || !c.engine.is_db_exist(c.get_dest()))
        return true;
    const std::unique_ptr<udb_database> database = c.open_mysql_base(c.get_dest(), 4);
    std::wstring replaced;
    for (const auto& [sheet, table] : c.sheet_dest_tables())
        if (database->is_table_exist(table))
            replaced += (replaced.empty() ? L"'" : L", '") + table + L"'" +
                        (table != sheet ? L" (worksheet " + sheet + L")" : std::wstring());
    return replaced.empty() ||
           wizard_shell::question(L"The run replaces these existing tables of the database '" + c.get_dest() +
                                  L"', and what they hold now is lost: " + replaced + L". Continue?");
}

bool is_edit_key(const QKeyEvent& key)
{
    const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
    switch (key.key()) {
    case Qt::Key_Space:
    case Qt::Key_F2:
    case Qt::Key_Menu:
        return modifiers == Qt::NoModifier;
    case Qt::Key_F10:
        return modifiers == Qt::ShiftModifier;
    default:
        return false;
    }
}

} // namespace

sel_shit_page::sel_shit_page(const std::wstring& question_)
    : available(sheet_list(this, "available")),
      selected(sheet_list(this, "selected")),
      add_button(named(new QPushButton(QStringLiteral("A&dd >"), this), "add")),
      add_all_button(named(new QPushButton(QStringLiteral("Add a&ll >"), this), "add_all")),
      remove_button(named(new QPushButton(QStringLiteral("< &Remove"), this), "remove")),
      remove_all_button(named(new QPushButton(QStringLiteral("< Re&move all"), this), "remove_all")),
      question(question_)
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Select MS Excel worksheets to convert into MySQL tables. Double "
                                                "click an item in the\n'Selected worksheets' list, or press Space "
                                                "or F2 on it, to customize it."),
                                 this));
    auto* grid = new QGridLayout;
    auto* available_label = new QLabel(QStringLiteral("&Available worksheets:"), this);
    auto* selected_label = new QLabel(QStringLiteral("&Selected worksheets:"), this);
    available_label->setBuddy(available);
    selected_label->setBuddy(selected);
    grid->addWidget(available_label, 0, 0);
    grid->addWidget(selected_label, 0, 2);
    grid->addWidget(available, 1, 0);
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {add_button, add_all_button, remove_button, remove_all_button})
        buttons->addWidget(b);
    buttons->addStretch();
    grid->addLayout(buttons, 1, 1);
    grid->addWidget(selected, 1, 2);
    layout->addLayout(grid);
    connect(add_button, &QPushButton::clicked, this, [this] { ui_guard([this] { on_add(); }); });
    connect(add_all_button, &QPushButton::clicked, this, [this] { ui_guard([this] { on_add_all(); }); });
    connect(remove_button, &QPushButton::clicked, this, [this] { ui_guard([this] { on_delete(); }); });
    connect(remove_all_button, &QPushButton::clicked, this, [this] { ui_guard([this] { on_del_all(); }); });
    connect(available, &QListWidget::itemDoubleClicked, this, [this] { ui_guard([this] { on_add(); }); });
    connect(selected, &QListWidget::itemDoubleClicked, this, [this] { ui_guard([this] { on_edit_query(); }); });
    available->installEventFilter(this);
    selected->installEventFilter(this);
}

// Focus moves while the lists are destroyed; the page is half gone then.
sel_shit_page::~sel_shit_page()
{
    available->removeEventFilter(this);
    selected->removeEventFilter(this);
}

bool sel_shit_page::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != available && watched != selected)
        return wizard_page::eventFilter(watched, event);
    auto* list = static_cast<QListWidget*>(watched);
    if (event->type() == QEvent::FocusIn && list->count() > 0 && list->selectedItems().isEmpty())
        highlight(list, std::max(list->currentRow(), 0));
    if (event->type() == QEvent::KeyPress && list == selected && is_edit_key(*static_cast<QKeyEvent*>(event))) {
        if (selected->currentItem() != nullptr)
            ui_guard([this] { on_edit_query(); });
        return true;
    }
    return wizard_page::eventFilter(watched, event);
}

int sel_shit_page::page_init()
{
    std::vector<std::wstring> sheets;
    ravelin_converter& c = converter();
    // Listing the workbook rebuilds the converter's worksheets: the choice
    // in hand is read first.
    const auto chosen = c.sel_queries;
    if (!c.get_all_sheets(sheets))
        throw tk_exception(dao_missing_message, 1);
    list_items(sheets);
    for (const auto& [name, text] : chosen) {
        tk_logger::wlog(2, L"Processing '%s'", name.c_str());
        if (const int row = row_named(available, name); text.empty() && row >= 0)
            move_row(available, row, selected);
    }
    list_queries(chosen);
    if (available->count() > 0)
        highlight(available, 0);
    return 1;
}

bool sel_shit_page::listed(const std::wstring& name) const { return holds(available, name) || holds(selected, name); }

void sel_shit_page::list_queries(const std::vector<query_pair>& chosen)
{
    const ravelin_converter& c = converter();
    selected_pairs.clear();
    for (const auto& [name, text] : chosen)
        if (!text.empty() && !listed(name)) {
            selected->addItem(new sheet_item(name, query_order));
            selected_pairs.emplace_back(name, text);
        }
    available_pairs = c.available_queries;
    for (const auto& [name, text] : available_pairs)
        if (!text.empty() && !holds(available, name))
            available->addItem(new sheet_item(name, query_order));
}

bool sel_shit_page::is_query(const std::wstring& name) const
{
    const auto named_so = [&name](const query_pair& p) { return p.first == name; };
    return std::any_of(selected_pairs.begin(), selected_pairs.end(), named_so) ||
           std::any_of(available_pairs.begin(), available_pairs.end(), named_so);
}

void sel_shit_page::move_pair(const std::wstring& name, std::vector<query_pair>& from, std::vector<query_pair>& to)
{
    const auto found = pair_named(from, name);
    if (found == from.end())
        return;
    to.push_back(*found);
    from.erase(found);
}

void sel_shit_page::on_edit_query()
{
    tk_logger::log(2, "sel_tables_page_ex::on_edit_query");
    QListWidgetItem* item = selected->currentItem();
    if (item == nullptr) {
        tk_logger::log(1, "Nothing is selected!");
        return;
    }
    const std::wstring name = name_of(item);
    const auto found = pair_named(selected_pairs, name);
    if (found == selected_pairs.end()) {
        tk_logger::log(1, "It's not a query, show type mapping");
        on_types_mapping(name);
        return;
    }
    set_query_dlg::services services{
        [](bool error, const std::wstring& text) {
            error ? wizard_shell::error(text) : wizard_shell::message(text);
        },
        [this, &name](const std::wstring& other) {
            return QString::fromStdWString(other).compare(qwide(name), Qt::CaseInsensitive) != 0 && listed(other);
        },
        [](uint32_t topic) { wizard_shell::display_help(topic); }};
    set_query_dlg dialog(this, found->first, found->second, services);
    if (ui().exec(dialog) != QDialog::Accepted)
        return;
    *found = {dialog.get_name(), dialog.get_query()};
    delete selected->takeItem(selected->row(item));
    selected->addItem(new sheet_item(dialog.get_name(), query_order));
}

void sel_shit_page::on_types_mapping(const std::wstring& table)
{
    tk_logger::log(2, "Ready for types mapping");
    const ravelin_converter& c = converter();
    std::vector<std::pair<std::wstring, std::wstring>> taken;
    for (const std::wstring& sheet : selected_sheets())
        if (sheet != table)
            taken.emplace_back(c.destination_name(sheet), sheet);
    open_types_editor(this, table, std::move(taken));
    // Edit Table may have renamed the table.
    for (QListWidget* list : {available, selected})
        for (int i = 0; i < list->count(); ++i)
            if (QListWidgetItem* item = list->item(i); item->data(order_role).toInt() != query_order)
                item->setText(label_of(name_of(item)));
}

std::vector<std::wstring> sel_shit_page::selected_sheets() const
{
    std::vector<std::wstring> names;
    for (int i = 0; i < selected->count(); ++i)
        if (const std::wstring name = name_of(selected->item(i)); !is_query(name))
            names.push_back(name);
    return names;
}

void sel_shit_page::list_items(const std::vector<std::wstring>& names)
{
    tk_logger::log(2, "sel_tables_page::do_page_init");
    available->clear();
    selected->clear();
    for (size_t i = 0; i < names.size(); ++i) {
        auto* item = new sheet_item(names[i], static_cast<int>(i));
        item->setText(label_of(names[i]));
        available->addItem(item);
    }
}

void sel_shit_page::on_help() { wizard_shell::display_help(1016); }

void sel_shit_page::move_selected(QListWidget* from, QListWidget* to)
{
    std::vector<int> rows;
    for (const QModelIndex& index : from->selectionModel()->selectedRows())
        rows.push_back(index.row());
    if (rows.empty())
        return;
    std::sort(rows.begin(), rows.end());
    for (size_t k = 0; k < rows.size(); ++k)
        follow(from, move_row(from, rows[k] - static_cast<int>(k), to));
    if (from->count() > 0) {
        highlight(from, std::min(rows.back() - static_cast<int>(rows.size()) + 1, from->count() - 1));
        return;
    }
    to->setFocus();
    highlight(to, 0);
}

void sel_shit_page::follow(const QListWidget* from, const std::wstring& name)
{
    if (from == available)
        move_pair(name, available_pairs, selected_pairs);
    else
        move_pair(name, selected_pairs, available_pairs);
}

void sel_shit_page::move_all(QListWidget* from, QListWidget* to)
{
    while (from->count() > 0)
        follow(from, move_row(from, 0, to));
    to->setFocus();
}

void sel_shit_page::on_add()
{
    tk_logger::log(2, "sel_tables_page::on_add");
    move_selected(available, selected);
}

void sel_shit_page::on_delete()
{
    tk_logger::log(2, "sel_tables_page::on_delete");
    move_selected(selected, available);
}

void sel_shit_page::on_add_all()
{
    tk_logger::log(2, "sel_tables_page::on_add_all");
    move_all(available, selected);
}

void sel_shit_page::on_del_all()
{
    tk_logger::log(2, "sel_tables_page::on_del_all");
    move_all(selected, available);
}

bool sel_shit_page::check_selection()
{
    return available->count() == 0 || selected->count() > 0 || question.empty() || wizard_shell::question(question);
}

int sel_shit_page::on_next()
{
    if (!check_selection())
        return wiz_stay;
    const std::vector<std::wstring> names = selected_sheets();
    ravelin_converter& c = converter();
    if (!tables_apart(c, names))
        return wiz_stay;
    c.set_sel_sheets1(names);
    // The queries are not converted (the run says so), but a profile saved
    // later keeps them.
    c.sel_queries.insert(c.sel_queries.end(), selected_pairs.begin(), selected_pairs.end());
    c.available_queries = available_pairs;
    if (!replacing_confirmed(c))
        return wiz_stay;
    return static_cast<int>(progress_page_id);
}

int sel_shit_page::on_back() { return static_cast<int>(conversion_page_id); }
