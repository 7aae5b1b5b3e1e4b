#include "common/map_list.hpp"

#include "TK/tk_excep.hpp"
#include "platform/text/pl_case.hpp"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace {

const wchar_t empty_name_message[] = L"Name cannot be empty. Try again.";

QString wide(const std::wstring& text) { return QString::fromStdWString(text); }

tk_yaml_map& type_map()
{
    static tk_yaml_map map;
    return map;
}

tk_yaml_map& size_map()
{
    static tk_yaml_map map;
    return map;
}

// A map is read once; a file that could not be read is tried at the next use.
void load_map(tk_yaml_map& map, const char* file_name, const std::set<std::wstring>& excluded)
{
    if (!map.empty())
        return;
    if (tk_yaml_config::load(map, file_name, excluded))
        return;
    if (QCoreApplication::instance() != nullptr) {
        const std::string beside = (QCoreApplication::applicationDirPath() + QLatin1Char('/')).toStdString() + file_name;
        if (tk_yaml_config::load(map, beside.c_str(), excluded))
            return;
    }
    map.clear();
    throw tk_exception(std::string("Cannot find ") + file_name + ". Custom type mapping is not available.", 1);
}

// A size item of "sql.typ": its word (LENGTH, PRECISION, SCALE), then the
// number a column newly given the type starts at, when there is one.
QString size_word(const std::wstring& item) { return wide(item).section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty); }

bool lists_size(const std::vector<std::wstring>& sizes, const QString& word)
{
    for (const std::wstring& size : sizes)
        if (size_word(size).compare(word, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QString size_start(const std::vector<std::wstring>& sizes, const QString& word)
{
    for (const std::wstring& size : sizes)
        if (size_word(size).compare(word, Qt::CaseInsensitive) == 0)
            return wide(size).section(QLatin1Char(' '), 1, 1, QString::SectionSkipEmpty);
    return {};
}

// The sizes "sql.typ" lists for a type; none for a type it does not name.
const std::vector<std::wstring>& sizes_of(const std::wstring& type)
{
    static const std::vector<std::wstring> none;
    const auto found = map_list::type_sizes().find(type);
    return found != map_list::type_sizes().end() ? found->second : none;
}

// A type with its sizes, as the list shows a column's type.
std::wstring type_text(const map_type& type)
{
    const std::vector<std::wstring>& sizes = sizes_of(type.type);
    if (lists_size(sizes, QStringLiteral("LENGTH")) && type.length > 0)
        return type.type + L"(" + std::to_wstring(type.length) + L")";
    if (lists_size(sizes, QStringLiteral("PRECISION")) && lists_size(sizes, QStringLiteral("SCALE")) &&
        type.precision > 0)
        return type.type + L"(" + std::to_wstring(type.precision) + L"," + std::to_wstring(type.scale) + L")";
    return type.type;
}

QLineEdit* number_box(QWidget* owner, const char* object_name)
{
    auto* box = new QLineEdit(owner);
    box->setObjectName(QString::fromLatin1(object_name));
    box->setValidator(new QIntValidator(0, std::numeric_limits<int>::max(), box));
    return box;
}

} // namespace

void map_list::load_maps(const std::set<std::wstring>& excluded)
{
    load_map(type_map(), "sql.map", excluded);
    load_map(size_map(), "sql.typ", {});
}

const tk_yaml_map& map_list::offered_types() { return type_map(); }
const tk_yaml_map& map_list::type_sizes() { return size_map(); }

void map_list::forget_maps()
{
    type_map().clear();
    size_map().clear();
}

map_list::map_list(QWidget* owner, const std::wstring& source_table_, box_teller tell_, help_opener help)
    : QDialog(owner),
      list(new QTreeWidget(this)),
      table_name(new QLineEdit(this)),
      name(new QLineEdit(this)),
      type(new QComboBox(this)),
      default_value(new QLineEdit(this)),
      length(number_box(this, "length")),
      precision(number_box(this, "precision")),
      scale(number_box(this, "scale")),
      source_table(source_table_),
      tell(std::move(tell_)),
      length_label(new QLabel(QStringLiteral("&Length:"), this)),
      precision_label(new QLabel(QStringLiteral("&Prec.:"), this)),
      scale_label(new QLabel(QStringLiteral("&Scale:"), this))
{
    setWindowTitle(QStringLiteral("Edit Table"));
    resize(560, 460);
    list->setObjectName(QStringLiteral("columns"));
    table_name->setObjectName(QStringLiteral("table_name"));
    name->setObjectName(QStringLiteral("name"));
    type->setObjectName(QStringLiteral("type"));
    default_value->setObjectName(QStringLiteral("default"));
    list->setColumnCount(4);
    list->setHeaderLabels({QString(), QStringLiteral("Field name"), QStringLiteral("Field type"),
                           QStringLiteral("Default value")});
    list->setRootIsDecorated(false);
    // The names, types and defaults share what a wider dialog gives.
    list->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    for (int i = 1; i < 4; ++i)
        list->header()->setSectionResizeMode(i, QHeaderView::Stretch);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    type->setEditable(false);
    length_label->setBuddy(length);
    precision_label->setBuddy(precision);
    scale_label->setBuddy(scale);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list, 1);
    auto* table_group = new QGroupBox(QStringLiteral(" Table info "), this);
    auto* table_form = new QFormLayout(table_group);
    table_form->addRow(QStringLiteral("&Name:"), table_name);
    layout->addWidget(table_group);
    auto* field_group = new QGroupBox(QStringLiteral(" Field info "), this);
    auto* field_form = new QFormLayout(field_group);
    field_form->addRow(QStringLiteral("N&ame:"), name);
    field_form->addRow(QStringLiteral("&Type:"), type);
    field_form->addRow(QStringLiteral("&Default:"), default_value);
    auto* sizes = new QHBoxLayout;
    for (auto [label, box] : {std::pair{length_label, length}, {precision_label, precision}, {scale_label, scale}}) {
        sizes->addWidget(label);
        sizes->addWidget(box);
    }
    field_form->addRow(sizes);
    layout->addWidget(field_group);
    precision_label->hide();
    precision->hide();
    scale_label->hide();
    scale->hide();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help,
                                         this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, [this] {
        tk_logger::log(1, "types_map_dlg::on_cancel");
        reject();
    });
    connect(buttons, &QDialogButtonBox::helpRequested, this, [help] { help(0); });
    help_on_f1(*this, [help] { help(0); });
    connect(list, &QTreeWidget::currentItemChanged, this, &map_list::on_current_changed);
    connect(list, &QTreeWidget::itemChanged, this, &map_list::on_check_changed);
    connect(type, &QComboBox::currentIndexChanged, this, [this] {
        show_ctrl();
        start_sizes();
    });
}

void map_list::add_item(const t_ftd& column, const map_type& source)
{
    tk_logger::log(1, "types_map_dlg::add_item");
    tk_logger::wlog(1, L"Column name: '%s'", column.name.c_str());
    const QString type_shown = types_from_data ? QStringLiteral("(from the data)") : wide(column.native_type);
    auto* row = new QTreeWidgetItem(list, {QString(), wide(column.name), type_shown, wide(source.default_value)});
    // The row shows the column's new name; it is known by its source name.
    // The source's texts come back when an edit is undone.
    for (int i = 1; i < 4; ++i)
        row->setData(i, Qt::UserRole, row->text(i));
    const auto found = edited.find(column.name);
    const bool dropped = found != edited.end() && found->second.status == 2;
    row->setCheckState(0, dropped ? Qt::Unchecked : Qt::Checked);
    sources.emplace(column.name, source);
    // Edits kept from before are what the run uses: the row shows them.
    show_row(row);
}

void map_list::start()
{
    tk_logger::log(1, "types_map_dlg::on_init");
    table_name->setText(wide(stored_name.empty() ? source_table : stored_name));
    if (list->topLevelItemCount() > 0) {
        QTreeWidgetItem* first = list->topLevelItem(0);
        list->setCurrentItem(first);
        list->scrollToItem(first);
        set_available_conversions(column_of(first));
        display_field(column_of(first));
    }
    show_ctrl();
    initialized = true;
}

std::wstring map_list::column_of(const QTreeWidgetItem* row)
{
    return row->data(1, Qt::UserRole).toString().toStdWString();
}

void map_list::show_row(QTreeWidgetItem* row)
{
    const auto found = edited.find(column_of(row));
    if (found == edited.end()) {
        for (int i = 1; i < 4; ++i)
            row->setText(i, row->data(i, Qt::UserRole).toString());
        return;
    }
    row->setText(1, wide(found->second.new_name));
    row->setText(2, wide(type_text(found->second.type)));
    row->setText(3, wide(found->second.type.default_value));
}

void map_list::start_sizes()
{
    // Only a type the user picks: a row being shown brings its own sizes.
    if (!initialized || showing)
        return;
    const std::vector<std::wstring>& sizes = sizes_of(type->currentText().toStdWString());
    for (auto [box, word] : {std::pair{length, QStringLiteral("LENGTH")}, {precision, QStringLiteral("PRECISION")},
                             {scale, QStringLiteral("SCALE")}}) {
        const QString start = size_start(sizes, word);
        if (!box->isHidden() && !start.isEmpty() && box->text().trimmed().toLongLong() == 0)
            box->setText(start);
    }
}

void map_list::on_current_changed(QTreeWidgetItem* current, QTreeWidgetItem* previous)
{
    if (!initialized)
        return;
    tk_logger::log(1, "types_map_dlg::on_item_changing");
    if (previous != nullptr && !store_current(previous)) {
        // The user stays on the row until it holds what can be stored.
        const QSignalBlocker blocker(list);
        list->setCurrentItem(previous);
        return;
    }
    if (previous != nullptr)
        show_row(previous);
    if (current == nullptr)
        return;
    set_available_conversions(column_of(current));
    display_field(column_of(current));
    show_ctrl();
}

void map_list::on_check_changed(QTreeWidgetItem* row, int column)
{
    if (!initialized || column != 0)
        return;
    // Only the box's own column changes: the editor may show another row.
    const std::wstring source = column_of(row);
    auto found = edited.find(source);
    if (found == edited.end())
        found = edited.emplace(source, types_map_item{source, sources.at(source), 1}).first;
    found->second.status = row->checkState(0) == Qt::Checked ? 1 : 2;
    if (found->second.status == 1 && unchanged(source, found->second))
        edited.erase(found);
}

bool map_list::unchanged(const std::wstring& column, const types_map_item& item) const
{
    const map_type& source = sources.at(column);
    return item.new_name == column && item.type.type == source.type.substr(0, source.type.find(L'(')) &&
           item.type.default_value == source.default_value && item.type.length == source.length &&
           item.type.precision == source.precision && item.type.scale == source.scale;
}

bool map_list::store_current(QTreeWidgetItem* row)
{
    std::optional<types_map_item> item = read_editor();
    if (!item)
        return false;
    const std::wstring column = column_of(row);
    item->status = row->checkState(0) == Qt::Checked ? 1 : 2;
    if (item->status == 1 && same_as_source(column, *item))
        edited.erase(column);
    else
        edited.insert_or_assign(column, *item);
    return true;
}

bool map_list::read_number(QLineEdit* box, int64_t least, int64_t& value, const wchar_t* message)
{
    value = 0;
    if (box->isHidden())
        return true;
    bool whole = false;
    value = box->text().trimmed().toLongLong(&whole);
    if (whole && value >= least && value <= std::numeric_limits<uint32_t>::max())
        return true;
    tell(false, message);
    box->setFocus();
    return false;
}

std::optional<types_map_item> map_list::read_editor()
{
    types_map_item item;
    item.new_name = name->text().left(1024).toStdWString();
    if (item.new_name.empty()) {
        tell(false, empty_name_message);
        return std::nullopt;
    }
    item.type.type = type->currentText().toStdWString();
    item.type.default_value = default_value->text().toStdWString();
    int64_t digits = 0;
    int64_t places = 0;
    if (!read_number(length, 1, item.type.length, L"The length must be a whole number of at least 1.") ||
        !read_number(precision, 1, digits, L"The precision must be a whole number of at least 1.") ||
        !read_number(scale, 0, places, L"The scale must be a whole number."))
        return std::nullopt;
    if (places > digits) {
        tell(false, L"The precision must be at least the scale.");
        return std::nullopt;
    }
    item.type.precision = static_cast<int32_t>(digits);
    item.type.scale = static_cast<int32_t>(places);
    return item;
}

bool map_list::same_as_source(const std::wstring& column, const types_map_item& item) const
{
    const map_type& source = sources.at(column);
    const std::wstring source_type = source.type.substr(0, source.type.find(L'('));
    return item.new_name == column && item.type.type == source_type &&
           item.type.default_value == source.default_value &&
           (length->isHidden() || item.type.length == source.length) &&
           (precision->isHidden() ||
            (item.type.precision == source.precision && item.type.scale == source.scale));
}

void map_list::set_available_conversions(const std::wstring& column)
{
    const auto found = edited.find(column);
    const std::wstring current = found != edited.end() ? found->second.type.type : sources.at(column).type;
    const std::wstring key = current.substr(0, current.find(L'('));
    tk_logger::wlog(1, L"udb_db_mutator<F>::get_mapped_types(%s)", key.c_str());
    const QSignalBlocker blocker(type);
    type->clear();
    const auto offered = type_map().find(key);
    // The column's own type is always among the choices.
    if (offered == type_map().end() ||
        std::find(offered->second.begin(), offered->second.end(), key) == offered->second.end())
        type->addItem(wide(key));
    if (offered != type_map().end())
        for (const std::wstring& name : offered->second)
            type->addItem(wide(name));
}

void map_list::display_field(const std::wstring& column)
{
    const QScopedValueRollback<bool> filling(showing, true);
    const auto found = edited.find(column);
    if (found == edited.end()) {
        const map_type& source = sources.at(column);
        name->setText(wide(column));
        select_type(source.type.substr(0, source.type.find(L'(')));
        default_value->setText(wide(source.default_value));
        length->setText(source.length < 65536 ? QString::number(source.length) : QString());
        scale->setText(QString::number(source.scale));
        precision->setText(QString::number(source.precision));
        return;
    }
    const types_map_item& item = found->second;
    name->setText(wide(item.new_name));
    select_type(item.type.type);
    default_value->setText(wide(item.type.default_value));
    // A size the column does not have leaves its box empty, not the last row's.
    length->setText(item.type.length > 0 ? QString::number(item.type.length) : QString());
    precision->setText(item.type.precision > 0 ? QString::number(item.type.precision) : QString());
    scale->setText(item.type.scale > 0 || item.type.precision > 0 ? QString::number(item.type.scale) : QString());
}

void map_list::select_type(const std::wstring& type_name)
{
    const int index = type->findText(wide(type_name), Qt::MatchFixedString);
    if (index >= 0)
        type->setCurrentIndex(index);
}

void map_list::show_ctrl()
{
    const std::vector<std::wstring>& sizes = sizes_of(type->currentText().toStdWString());
    const bool has_length = lists_size(sizes, QStringLiteral("LENGTH"));
    const bool has_digits = lists_size(sizes, QStringLiteral("PRECISION")) && lists_size(sizes, QStringLiteral("SCALE"));
    length_label->setHidden(!has_length);
    length->setHidden(!has_length);
    for (QWidget* w : {static_cast<QWidget*>(precision_label), static_cast<QWidget*>(precision),
                       static_cast<QWidget*>(scale_label), static_cast<QWidget*>(scale)})
        w->setHidden(!has_digits);
}

void map_list::accept()
{
    tk_logger::log(1, "types_map_dlg::on_ok");
    QTreeWidgetItem* current = list->currentItem();
    if (current != nullptr && !store_current(current))
        return;
    const std::wstring new_name = table_name->text().left(1024).toStdWString();
    if (new_name.empty()) {
        tell(false, empty_name_message);
        return;
    }
    // Two sources written into one table: the run would put one of them
    // under a name the user never gave.
    for (const auto& [taken, source] : taken_names)
        if (platform::equal_table_names(new_name, taken)) {
            tell(true, L"The table name '" + new_name + L"' is taken: the selected worksheet " + source +
                           L" is written into the table '" + taken +
                           L"'. Two worksheets cannot be written into one table; give this one another name.");
            return;
        }
    tk_logger::wlog(1, L"old name=%s, new name=%s", new_name.c_str(), stored_name.c_str());
    if (new_name != stored_name || !edited.empty() || had_changes)
        save(new_name);
    QDialog::accept();
}
