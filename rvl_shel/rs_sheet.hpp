// The worksheet page: the workbook's worksheets, moved between the available
// and the selected list; Next hands the selected names to the converter.
#pragma once

#include "GUI2/g_wiz_pg.hpp"
#include "rvl_shel/rs_cset.hpp"

#include <string>
#include <vector>

class QListWidget;
class QPushButton;

class sel_shit_page : public wizard_page<sheets_page_id, wiz_back_next, psp_hashelp> {
public:
    // question: asked when nothing is selected.
    explicit sel_shit_page(const std::wstring& question);
    ~sel_shit_page() override;

    int page_init() override;
    void on_help() override;
    int on_next() override;
    int on_back() override;

    // Empties both lists, then lists the names as available.
    void list_items(const std::vector<std::wstring>& names);
    void on_add();
    void on_add_all();
    void on_delete();
    void on_del_all();
    // Double click in the selected list: a query is edited in place, a
    // worksheet's columns in the type editor.
    void on_edit_query();
    void on_types_mapping(const std::wstring& table);
    // Space, F2, the Menu key and Shift+F10 in the selected list edit its
    // current item as a double click does (Enter stays Next); a list that
    // takes the focus shows its current item selected.
    bool eventFilter(QObject* watched, QEvent* event) override;

    using query_pair = std::pair<std::wstring, std::wstring>;  // name, SELECT text
    std::vector<query_pair> selected_pairs;
    std::vector<query_pair> available_pairs;

    QListWidget* available;
    QListWidget* selected;
    QPushButton* add_button;
    QPushButton* add_all_button;
    QPushButton* remove_button;
    QPushButton* remove_all_button;

private:
    // Moves the selected items of one list to the other; then the next item
    // of `from` is highlighted, or, once it is empty, the first of `to`.
    void move_selected(QListWidget* from, QListWidget* to);
    void move_all(QListWidget* from, QListWidget* to);
    // After an item of `from` moved: its query pair, if any, goes along.
    void follow(const QListWidget* from, const std::wstring& name);
    // False when nothing is selected and the user does not go on.
    bool check_selection();
    bool is_query(const std::wstring& name) const;
    // A query's pair follows its item to the other list.
    void move_pair(const std::wstring& name, std::vector<query_pair>& from, std::vector<query_pair>& to);
    // The profile's queries that no list holds yet.
    void list_queries(const std::vector<query_pair>& chosen);
    bool listed(const std::wstring& name) const;
    // The selected worksheets (queries left out), in list order.
    std::vector<std::wstring> selected_sheets() const;

    const std::wstring question;
};
