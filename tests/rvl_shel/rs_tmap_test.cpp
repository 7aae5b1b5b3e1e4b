// The "Edit Table" dialog driven on a small CSV file: what the user edits
// becomes the converter's table and field changes after OK and nothing after
// Cancel; the lists of types and sizes it reads; the schemas it is given.
#include "SQL/sql_engi.hpp"
#include "SQL/sql_util.hpp"
#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"
#include "common/map_list.hpp"
#include "config_home.hpp"
#include "fake_ui.hpp"
#include "rvl_conv/rvl_conv.hpp"
#include "rvl_shel/rs_errh.hpp"
#include "rvl_shel/rs_hooks.hpp"
#include "test_dir.hpp"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>

#if !defined(RVL_TYPES) || !defined(RVL_WORKBOOKS)
#error RVL_TYPES and RVL_WORKBOOKS must be given
#endif

namespace {

using editor = types_map_dlg<ravelin_converter, 1022>;

const char items_csv[] = "name;amount;note\nann;12.5;x\nbob;7;y\n";

// A converter on a CSV file in a folder of its own, with the shipped lists.
struct editor_fixture {
    config_home home;
    test_dir dir;
    std::filesystem::path cwd = std::filesystem::current_path();
    tk_logger logger{nullptr, false, 3, false};
    fake_ui port;
    wizard_error_handler errors;
    wizard_hooks hooks;
    ravelin_converter converter{converter_form::wizard, hooks};
    std::vector<std::string> told;

    explicit editor_fixture(bool lists = true)
    {
        std::filesystem::current_path(dir.path());
        map_list::forget_maps();
        if (lists) {
            std::filesystem::copy_file(std::string(RVL_TYPES) + "/sql.map", dir.file("sql.map"));
            std::filesystem::copy_file(std::string(RVL_TYPES) + "/sql.typ", dir.file("sql.typ"));
        }
        test_dir::write(dir.file("items.csv"), items_csv);
        converter.from_xls = false;
        converter.set_src(QString::fromStdString(dir.file("items.csv")).toStdWString());
        converter.n_comma = 1;
        converter.x_fnames = true;
    }
    ~editor_fixture()
    {
        std::filesystem::current_path(cwd);
        map_list::forget_maps();
    }
    std::unique_ptr<editor> open(const std::wstring& table = L"items")
    {
        return std::make_unique<editor>(
            nullptr, table, [this](bool, const std::wstring& text) { told.push_back(QString::fromStdWString(text).toStdString()); },
            [](uint32_t) {});
    }
    // The converter's changes of the table, in one line.
    std::string changes(const std::wstring& table = L"items") const
    {
        const sql_table_mutator* change = converter.get_table_mutator3(table);
        if (change == nullptr)
            return "none";
        std::string text = "table " + QString::fromStdWString(change->new_name).toStdString();
        for (const auto& [column, field] : change->get_fields())
            text += "; " + QString::fromStdWString(column + L"->" + field->new_name + L" " + field->column_type())
                               .toStdString() +
                    (field->type.default_value.empty() ? "" : " = " + QString::fromStdWString(field->type.default_value).toStdString()) +
                    " " + std::to_string(field->status);
        return text;
    }
};

QTreeWidgetItem* row(editor& d, int i) { return d.list->topLevelItem(i); }
void select(editor& d, int i) { d.list->setCurrentItem(row(d, i)); }
void choose_type(editor& d, const char* type) { d.type->setCurrentIndex(d.type->findText(QString::fromUtf8(type))); }

// A change made earlier (as a profile gives it): name renamed, note dropped.
void earlier_changes(ravelin_converter& c)
{
    sql_table_mutator* table = c.get_table_mutator2(L"items", L"goods");
    sql_field_type text;
    text.type = L"VARCHAR";
    text.length = 40;
    table->update_field(L"name", L"who", text)->status = udb_mutators::changed;
    table->update_field(L"note", L"note", text)->status = udb_mutators::deleted;
}

struct edit_case {
    const char* what;
    std::function<void(ravelin_converter&)> before;
    std::function<void(editor&)> edit;
    bool ok;
    const char* changes;
    const char* told;  // the message shown, if any
};

// A row shows its column's edits once the user leaves it, and its source's
// texts again when the edits are undone; a column made DECIMAL starts at the
// precision and scale "sql.typ" gives.
TEST(types_editor, the_list_shows_the_edits_and_decimal_starts_at_the_listed_sizes)
{
    editor_fixture f;
    std::unique_ptr<editor> d = f.open();
    const QString source_type = row(*d, 1)->text(2);
    select(*d, 1);
    choose_type(*d, "DECIMAL");
    EXPECT_EQ(d->precision->text().toStdString(), "10");
    EXPECT_EQ(d->scale->text().toStdString(), "2");
    d->name->setText("score");
    select(*d, 0);
    EXPECT_EQ(row(*d, 1)->text(1).toStdString(), "score");
    EXPECT_EQ(row(*d, 1)->text(2).toStdString(), "DECIMAL(10,2)");
    select(*d, 1);
    EXPECT_EQ(d->name->text().toStdString(), "score");
    d->name->setText("amount");
    choose_type(*d, "VARCHAR");
    d->length->setText("255");
    select(*d, 0);
    EXPECT_EQ(row(*d, 1)->text(1).toStdString(), "amount");
    EXPECT_EQ(row(*d, 1)->text(2), source_type);
    select(*d, 1);
    choose_type(*d, "DECIMAL");
    d->precision->setText("6");
    d->accept();
    EXPECT_EQ(f.changes(), "table items; amount->amount DECIMAL(6,2) 1");
}

// Opened again, the dialog lists the edits it kept, on every row, not the
// source's names and types until a row is selected.
TEST(types_editor, reopened_the_list_shows_the_kept_edits)
{
    editor_fixture f;
    {
        std::unique_ptr<editor> d = f.open();
        select(*d, 1);
        choose_type(*d, "DECIMAL");
        d->name->setText("price");
        select(*d, 0);
        d->accept();
    }
    earlier_changes(f.converter);
    std::unique_ptr<editor> d = f.open();
    EXPECT_EQ(row(*d, 0)->text(1).toStdString(), "who");
    EXPECT_EQ(row(*d, 0)->text(2).toStdString(), "VARCHAR(40)");
    EXPECT_EQ(row(*d, 1)->text(1).toStdString(), "price");
    EXPECT_EQ(row(*d, 1)->text(2).toStdString(), "DECIMAL(10,2)");
    EXPECT_EQ(row(*d, 2)->checkState(0), Qt::Unchecked);
}

// A CSV column's type is settled by the run from all the values when
// refinement is on: the list says so rather than show VARCHAR(255), which
// the run would not create. Without refinement the text type is the run's.
// The columns share the room a wider dialog gives.
TEST(types_editor, csv_columns_show_the_type_the_run_creates_and_widen_with_the_dialog)
{
    for (const bool refine : {true, false}) {
        SCOPED_TRACE(refine);
        editor_fixture f;
        f.converter.refine_types = refine;
        std::unique_ptr<editor> d = f.open();
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(row(*d, i)->text(2).toStdString(), refine ? "(from the data)" : "VARCHAR(255)");
        d->show();
        const int narrow = d->list->columnWidth(1) + d->list->columnWidth(2);
        d->resize(d->width() + 300, d->height());
        QCoreApplication::processEvents();
        EXPECT_GT(d->list->columnWidth(1) + d->list->columnWidth(2), narrow + 150);
    }
}

// F1 from any control of the dialog opens the help its Help button opens
// (the Help buttons are driven by the pages' tests).
TEST(types_editor, f1_opens_the_help_in_the_editor_and_both_existing_destination_dialogs)
{
    editor_fixture f;
    std::vector<uint32_t> topics;
    const help_opener help = [&topics](uint32_t topic) { topics.push_back(topic); };
    editor table_editor(nullptr, L"items", [](bool, const std::wstring&) {}, help);
    overwrite_dlg table_exists(nullptr, L"T", 1019, L"Table exists", help);
    overwrite_dlg2 database_exists(nullptr, L"T", L"Database exists", 1018, help);
    // The query dialog opens a page of its own, not topic 0.
    set_query_dlg query(nullptr, L"q", L"SELECT 1",
                        {[](bool, const std::wstring&) {}, [](const std::wstring&) { return false; }, help});
    const std::pair<QDialog*, uint32_t> cases[] = {
        {&table_editor, 1022}, {&table_exists, 1019}, {&database_exists, 1018}, {&query, 1021}};
    for (const auto& [dialog, topic] : cases) {
        SCOPED_TRACE(topic);
        topics.clear();
        QWidget* control = dialog->findChildren<QWidget*>().back();
        QTest::keyClick(control, Qt::Key_F1);
        EXPECT_EQ(topics, std::vector<uint32_t>{topic});
    }
}

TEST(types_editor, edits_become_the_converters_changes_after_ok_and_nothing_after_cancel)
{
    const auto none = [](ravelin_converter&) {};
    const edit_case cases[] = {
        {"untouched", none, [](editor&) {}, true, "table items", ""},
        {"table renamed", none, [](editor& d) { d.table_name->setText("goods"); }, true, "table goods", ""},
        {"text to a decimal with a default", none,
         [](editor& d) {
             select(d, 1);
             choose_type(d, "DECIMAL");
             d.precision->setText("10");
             d.scale->setText("2");
             d.default_value->setText("0");
             select(d, 0);
         },
         true, "table items; amount->amount DECIMAL(10,2) = 0 1", ""},
        {"box cleared, then the row left", none,
         [](editor& d) {
             row(d, 0)->setCheckState(0, Qt::Unchecked);
             select(d, 1);
         },
         true, "table items; name->name VARCHAR(255) 2", ""},
        {"renamed, cleared and checked again", none,
         [](editor& d) {
             d.name->setText("who");
             row(d, 0)->setCheckState(0, Qt::Unchecked);
             row(d, 0)->setCheckState(0, Qt::Checked);
             select(d, 1);
         },
         true, "table items; name->who VARCHAR(255) 1", ""},
        {"cleared and checked again", none,
         [](editor& d) {
             row(d, 0)->setCheckState(0, Qt::Unchecked);
             row(d, 0)->setCheckState(0, Qt::Checked);
             select(d, 1);
         },
         true, "table items", ""},
        {"a box cleared on a row not shown", none,
         [](editor& d) {
             d.name->setText("who");
             row(d, 2)->setCheckState(0, Qt::Unchecked);
         },
         true, "table items; name->who VARCHAR(255) 1; note->note VARCHAR(255) 2", ""},
        {"an empty length", none, [](editor& d) { d.length->setText(""); }, true, "none",
         "The length must be a whole number of at least 1."},
        {"a zero length", none, [](editor& d) { d.length->setText("0"); }, true, "none",
         "The length must be a whole number of at least 1."},
        {"scale above precision", none,
         [](editor& d) {
             choose_type(d, "DECIMAL");
             d.precision->setText("2");
             d.scale->setText("3");
         },
         true, "none", "The precision must be at least the scale."},
        {"an empty column name", none, [](editor& d) { d.name->setText(""); }, true, "none",
         "Name cannot be empty. Try again."},
        {"an empty table name", none, [](editor& d) { d.table_name->setText(""); }, true, "none",
         "Name cannot be empty. Try again."},
        {"cancel", none,
         [](editor& d) {
             d.table_name->setText("goods");
             d.name->setText("who");
             select(d, 1);
         },
         false, "none", ""},
        {"earlier changes shown and kept", earlier_changes,
         [](editor& d) {
             EXPECT_EQ(d.table_name->text().toStdString(), "goods");
             EXPECT_EQ(d.name->text().toStdString(), "who");
             EXPECT_EQ(d.length->text().toStdString(), "40");
             EXPECT_EQ(row(d, 2)->checkState(0), Qt::Unchecked);
             EXPECT_EQ(row(d, 1)->checkState(0), Qt::Checked);
         },
         true, "table goods; name->who VARCHAR(40) 1; note->note VARCHAR(40) 2", ""},
        {"an earlier change set back to the source", earlier_changes,
         [](editor& d) {
             d.name->setText("name");
             d.length->setText("255");
             select(d, 1);
         },
         true, "table goods; note->note VARCHAR(40) 2", ""},
    };
    for (const edit_case& c : cases) {
        SCOPED_TRACE(c.what);
        editor_fixture f;
        c.before(f.converter);
        std::unique_ptr<editor> d = f.open();
        c.edit(*d);
        c.ok ? d->accept() : d->reject();
        EXPECT_EQ(f.changes(), c.changes);
        EXPECT_EQ(f.told, *c.told ? std::vector<std::string>{c.told} : std::vector<std::string>{});
        EXPECT_EQ(d->result(), *c.told || !c.ok ? QDialog::Rejected : QDialog::Accepted);
    }
}

TEST(types_editor, a_refused_row_keeps_the_selection_and_boxes_show_only_this_rows_sizes)
{
    editor_fixture f;
    std::unique_ptr<editor> d = f.open();
    EXPECT_EQ(d->list->topLevelItemCount(), 3);
    EXPECT_EQ(row(*d, 0)->text(1).toStdString(), "name");  // schema order
    EXPECT_EQ(row(*d, 0)->text(2).toStdString(), "(from the data)");
    d->length->setText("");
    select(*d, 2);
    EXPECT_EQ(d->list->currentItem(), row(*d, 0));
    EXPECT_EQ(f.told.size(), 1u);
    d->length->setText("8");

    // A decimal keeps no length: coming back its length box is empty, not
    // the last row's, and a length given later must be typed.
    select(*d, 1);
    EXPECT_EQ(d->list->currentItem(), row(*d, 1));
    choose_type(*d, "DECIMAL");
    EXPECT_TRUE(d->length->isHidden());
    EXPECT_FALSE(d->precision->isHidden());
    d->precision->setText("6");
    d->scale->setText("1");
    select(*d, 0);
    EXPECT_EQ(d->length->text().toStdString(), "8");
    select(*d, 1);
    EXPECT_EQ(d->length->text().toStdString(), "");
    choose_type(*d, "VARCHAR");
    d->accept();
    EXPECT_EQ(d->result(), QDialog::Rejected);
    d->length->setText("12");
    d->accept();
    EXPECT_EQ(d->result(), QDialog::Accepted);
    EXPECT_EQ(f.changes(), "table items; amount->amount VARCHAR(12) 1; name->name VARCHAR(8) 1");
}

TEST(types_editor, the_lists_are_read_once_and_a_missing_one_shows_no_dialog)
{
    for (const char* missing : {"sql.map", "sql.typ"}) {
        editor_fixture f;
        std::filesystem::remove(f.dir.file(missing));
        try {
            f.open();
            ADD_FAILURE() << missing;
        } catch (const tk_exception& e) {
            EXPECT_EQ(e.get_level(), 1);
            EXPECT_EQ(std::string(e.what()), std::string("Cannot find ") + missing +
                                                  ". Custom type mapping is not available.");
        }
        // Tried again, then kept for the process.
        std::filesystem::copy_file(std::string(RVL_TYPES) + "/" + missing, f.dir.file(missing));
        EXPECT_NO_THROW(f.open());
        std::filesystem::remove(f.dir.file(missing));
        EXPECT_NO_THROW(f.open());
    }

    // A type no key names is still offered; a size list without SCALE shows
    // no precision either.
    editor_fixture f(false);
    test_dir::write(f.dir.file("sql.map"), "DECIMAL:\n- DECIMAL\n");
    test_dir::write(f.dir.file("sql.typ"), "DECIMAL:\n- precision\nVARCHAR:\n- length\n");
    std::unique_ptr<editor> d = f.open();
    ASSERT_EQ(d->type->count(), 1);
    EXPECT_EQ(d->type->currentText().toStdString(), "VARCHAR");
    EXPECT_FALSE(d->length->isHidden());
    d->type->addItem("DECIMAL");
    choose_type(*d, "DECIMAL");
    EXPECT_TRUE(d->length->isHidden());
    EXPECT_TRUE(d->precision->isHidden());
    EXPECT_TRUE(d->scale->isHidden());
}

TEST(types_editor, the_shipped_lists_offer_known_types_and_the_sizes_the_type_texts_take)
{
    editor_fixture f;
    map_list::load_maps({});
    const tk_yaml_map& offered = map_list::offered_types();
    std::set<std::wstring> names;
    for (uint32_t code = 0; code < 28; ++code)
        names.insert(sql_engine::get_mysql_type_name(static_cast<int>(code)));
    EXPECT_EQ(offered.size(), 28u);
    for (const auto& [key, items] : offered) {
        EXPECT_TRUE(names.count(key)) << QString::fromStdWString(key).toStdString();
        ASSERT_FALSE(items.empty());
        EXPECT_EQ(items.front(), key);
        for (const std::wstring& item : items)
            EXPECT_TRUE(offered.count(item)) << QString::fromStdWString(item).toStdString();
    }
    const tk_yaml_map& sizes = map_list::type_sizes();
    for (const std::wstring& name : names) {
        sql_native_type type{name, 7, 2, 9};
        const std::wstring text = get_sql_native_type1(type);
        const auto listed = sizes.find(name);
        const std::vector<std::wstring> none;
        // Each item is a size's word, and may give the size a new column starts at.
        std::vector<std::wstring> words;
        for (const std::wstring& item : listed != sizes.end() ? listed->second : none)
            words.push_back(item.substr(0, item.find(L' ')));
        const bool length = std::find(words.begin(), words.end(), L"LENGTH") != words.end();
        const bool digits = std::find(words.begin(), words.end(), L"PRECISION") != words.end() &&
                            std::find(words.begin(), words.end(), L"SCALE") != words.end();
        EXPECT_EQ(text, name + (length ? L"(7)" : digits ? L"(9,2)" : L"")) << QString::fromStdWString(name).toStdString();
    }
    // Every kind of column the readers make is described as a key.
    for (VARTYPE vt : std::initializer_list<VARTYPE>{VT_BSTR, VT_R8, VT_R4, VT_DATE, VT_BOOL, VT_CY, VT_I2, VT_I4, VT_I8, VT_UI1, VT_DECIMAL,
                       VARTYPE(VT_BLOB)}) {
        t_ftd column(20, L"c", vt, false, false, ole_variant(), vt == VT_DECIMAL ? 0x0C02 : 0, L"");
        column.precision = vt == VT_DECIMAL ? 12 : 0;
        sql_field_type described;
        f.converter.describe_field(column, described);
        EXPECT_TRUE(offered.count(described.type)) << vt << " " << QString::fromStdWString(described.type).toStdString();
    }
}

TEST(types_editor, the_schema_is_read_from_the_csv_file_or_the_worksheet)
{
    editor_fixture f;
    udb_schema header = f.converter.get_schema(L"items");
    ASSERT_EQ(header.size(), 3u);
    EXPECT_EQ(header[1]->name, L"amount");
    f.converter.x_fnames = false;
    udb_schema plain = f.converter.get_schema(L"items");
    ASSERT_EQ(plain.size(), 3u);
    EXPECT_NE(plain[0]->name, L"name");

    f.converter.set_src(QString::fromStdString(f.dir.file("gone.csv")).toStdWString());
    EXPECT_THROW(f.converter.get_schema(L"items"), tk_exception);

    std::filesystem::copy_file(std::string(RVL_WORKBOOKS) + "/sheetjs.xlsx", f.dir.file("book.xlsx"));
    f.converter.from_xls = true;
    f.converter.x_fnames = true;
    f.converter.set_src(QString::fromStdString(f.dir.file("book.xlsx")).toStdWString());
    f.converter.worksheets = {{L"Data", L"Data$"}};
    EXPECT_FALSE(f.converter.get_schema(L"Other sheet").empty());
    EXPECT_EQ(f.converter.worksheets.size(), 1u);  // the run's choice untouched
    try {
        f.converter.get_schema(L"Vanished");
        ADD_FAILURE();
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 1);
        EXPECT_NE(std::string(e.what()).find("The worksheet Vanished is no longer in the workbook"), std::string::npos);
    }
}

} // namespace
