// The conversion settings (character set, storage engine, and the workbook's
// options or the CSV file's table) and the CSV delimiter page.
#pragma once

#include "GUI2/g_wiz_pg.hpp"
#include "rvl_shel/rs_form.hpp"

#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QRadioButton;

inline constexpr uint32_t sheets_page_id = 127;

// The item to make current for a setting: the first whose first word is the
// setting (case ignored), else the first that begins with it; -1 for none.
int combo_item_for(const std::vector<std::wstring>& items, const std::wstring& setting);

class conversion_settings : public wizard_page<conversion_page_id, wiz_back_next, psp_hashelp> {
public:
    conversion_settings();

    int page_init() override;
    void on_help() override;
    int on_next() override;
    int on_back() override;

    QComboBox* charset;
    QComboBox* engine;
    QCheckBox* field_names;
    QCheckBox* skip_empty;
    QCheckBox* refine;
    QCheckBox* structure_only;
    QLabel* table_label;
    QLineEdit* table;

private:
    void fill_combos();
    void store_file_info();
};

class delim_page : public wizard_page<delim_page_id, wiz_back_next, psp_hashelp> {
public:
    delim_page();

    int page_init() override;
    void on_help() override;
    int on_next() override;
    int on_back() override;

    QRadioButton* delimiters[4];  // tab, semicolon, comma, space
    QCheckBox* field_names;
    QCheckBox* refine;
    class QPushButton* customize;

    // The type editor for the CSV table, with the page's settings stored.
    void on_cust_types();

private:
    void store();

    std::wstring settled_table;  // the table name the existing-table question was settled for
};
