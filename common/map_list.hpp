// The "Edit Table" dialog: before a run the user renames a source table and,
// per column, renames it, picks its MySQL type among those "sql.map" offers,
// sets its default and the sizes "sql.typ" lists for that type, or leaves the
// column out by clearing its box. Nothing reaches the converter before OK.
//
// map_list holds the widgets and the edits; types_map_dlg binds it to a
// converter (its schema, its table and field changes).
#pragma once

#include "TK/tk_log.hpp"
#include "TK/tk_yaml.hpp"
#include "UDB/udb_sch.hpp"
#include "common/over_dlg.hpp"

#include <QDialog>

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

// One column's destination as the dialog holds it.
struct map_type {
    std::wstring type;
    std::wstring default_value;
    std::wstring character_set;
    int64_t length = 0;
    int32_t scale = 0;
    int32_t precision = 0;
};

// An edited column: status 1 changed, 2 left out.
struct types_map_item {
    std::wstring new_name;
    map_type type;
    int32_t status = 1;
};

class map_list : public QDialog {
public:
    // The types offered for a type ("sql.map") and the sizes a type takes
    // ("sql.typ"), read once per process, from the current folder, else from
    // the program's. Either missing: a level-1 tk_exception, to be tried
    // again at the next call.
    static void load_maps(const std::set<std::wstring>& excluded);
    static const tk_yaml_map& offered_types();
    static const tk_yaml_map& type_sizes();
    static void forget_maps();

    void accept() override;

    QTreeWidget* list;
    QLineEdit* table_name;
    QLineEdit* name;
    QComboBox* type;
    QLineEdit* default_value;
    QLineEdit* length;
    QLineEdit* precision;
    QLineEdit* scale;
    // The tables of the run's other sources, by the names they have or will
    // have, each with its source's name: OK refuses a table name that is
    // one of them (compared without case, as the run keeps its names apart).
    std::vector<std::pair<std::wstring, std::wstring>> taken_names;

protected:
    map_list(QWidget* owner, const std::wstring& source_table, box_teller tell, help_opener help);

    // Lists the columns: each is described (its type text rewritten) and
    // shown; the stored changes are those set before.
    template <class Describe> void fill(const udb_schema& columns, Describe describe)
    {
        for (const auto& column : columns) {
            map_type source;
            describe(*column, source);
            add_item(*column, source);
        }
        start();
    }
    // Makes the edits the converter's changes; a listed column without an
    // edit loses the change it had.
    virtual void save(const std::wstring& new_table_name) = 0;

    std::wstring source_table;
    std::wstring stored_name;                      // the earlier change's table name
    std::map<std::wstring, types_map_item> edited;  // by source column name
    std::map<std::wstring, map_type> sources;
    bool had_changes = false;                      // the converter held column changes
    // The run settles the unchanged columns' types from all the values (a CSV
    // file with refinement on): the list says so instead of showing the text
    // type every CSV column starts as.
    bool types_from_data = false;

private:
    void add_item(const t_ftd& column, const map_type& source);
    void start();
    static std::wstring column_of(const QTreeWidgetItem* row);
    void on_current_changed(QTreeWidgetItem* current, QTreeWidgetItem* previous);
    void on_check_changed(QTreeWidgetItem* row, int column);
    bool store_current(QTreeWidgetItem* row);
    std::optional<types_map_item> read_editor();
    bool read_number(QLineEdit* box, int64_t least, int64_t& value, const wchar_t* message);
    // Every part of the item is the source's.
    bool unchanged(const std::wstring& column, const types_map_item& item) const;
    // What the editor shows is the source's.
    bool same_as_source(const std::wstring& column, const types_map_item& item) const;
    void set_available_conversions(const std::wstring& column);
    void display_field(const std::wstring& column);
    // The row shows the edited column's new name, type and default.
    void show_row(QTreeWidgetItem* row);
    // A type just picked starts at the sizes "sql.typ" gives it, in boxes
    // that hold none.
    void start_sizes();
    void select_type(const std::wstring& name);
    void show_ctrl();

    box_teller tell;
    QLabel* length_label;
    QLabel* precision_label;
    QLabel* scale_label;
    bool initialized = false;
    bool showing = false;  // display_field fills the editor
};

// The type editor over a converter that is a singleton holding the table and
// field changes (get_table_mutator2/3) and the sources' schemas (get_schema).
template <class Converter, uint32_t help_topic> class types_map_dlg : public map_list {
public:
    using field_type = typename Converter::field_type;

    types_map_dlg(QWidget* owner, const std::wstring& source_table, box_teller tell, help_opener help)
        : map_list(owner, source_table, std::move(tell), [help](uint32_t) { help(help_topic); })
    {
        Converter& c = Converter::instance();
        load_maps(Converter::get_excluded_types());
        const udb_schema columns = c.get_schema(source_table);
        tk_logger::log(1, "types_map_dlg::types_map_dlg");
        load_changes(c);
        // Reading the whole file here would take as long as the run's first
        // reading, and its values may change before the run: the list only
        // says that the data decide.
        types_from_data = !c.from_xls && c.refines_types();
        fill(columns, [&c](t_ftd& column, map_type& type) {
            field_type described{};
            c.describe_field(column, described);
            type = to_map(described);
        });
    }

private:
    static std::wstring cut_size(const std::wstring& type) { return type.substr(0, type.find(L'(')); }

    static map_type to_map(const field_type& from)
    {
        return {from.type, from.default_value, from.character_set, from.length,
                static_cast<int32_t>(from.scale), static_cast<int32_t>(from.precision)};
    }

    static field_type from_map(const map_type& from)
    {
        field_type to{};
        to.type = from.type;
        to.default_value = from.default_value;
        to.character_set = from.character_set;
        to.length = static_cast<uint32_t>(from.length);
        to.scale = static_cast<uint32_t>(from.scale);
        to.precision = static_cast<uint32_t>(from.precision);
        return to;
    }

    void load_changes(Converter& c)
    {
        const auto* table = c.get_table_mutator3(source_table);
        if (table == nullptr)
            return;
        stored_name = table->new_name;
        for (const auto& [column, change] : table->get_fields()) {
            types_map_item item{change->new_name, to_map(change->type), change->status};
            item.type.type = cut_size(item.type.type);
            edited.emplace(column, item);
        }
        had_changes = !edited.empty();
    }

    void save(const std::wstring& new_table_name) override
    {
        auto* table = Converter::instance().get_table_mutator2(source_table, new_table_name);
        for (const auto& [column, source] : sources) {
            const auto found = edited.find(column);
            if (found == edited.end()) {
                table->remove_field(column);
                continue;
            }
            field_type type = from_map(found->second.type);
            table->update_field(column, found->second.new_name, type)->status = found->second.status;
            tk_logger::log(1, "fm->status=%d", found->second.status);
        }
    }
};
