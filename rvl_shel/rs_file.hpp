// The file page: the source, the destination (a database name or a dump
// file) and the log file. Next checks them and asks about a destination that
// exists; the answer is only recorded, the run carries it out.
#pragma once

#include "GUI2/g_wiz_pg.hpp"
#include "rvl_shel/rs_form.hpp"

#include <optional>
#include <string>

class QLabel;
class QPushButton;

// The path with the name and extension replaced, made absolute (an empty
// path stands for the program's own file).
std::wstring make_dest_file_name(const std::wstring& path, const std::wstring& name, const std::wstring& ext);

// Asks whether the run may create the missing database `name`; No is the
// default.
bool agree_to_create_database(const std::wstring& name);

class sel_file_page : public wizard_page<file_page_id, wiz_back_next, psp_hashelp> {
public:
    sel_file_page();
    ~sel_file_page() override;

    int page_init() override;
    void on_help() override;
    int on_next() override;
    int on_back() override;

    // True when the workbook opens; else the reason in an error box.
    static bool check_xls(const std::wstring& path);

    QLabel* intro;
    QLabel* src_label;
    QLabel* dest_label;
    QLineEdit* src;
    QLineEdit* dest;
    QLineEdit* log;
    QPushButton* browse_src;
    QPushButton* browse_dest;
    QPushButton* browse_log;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void store();
    // The destination named after the source; a destination the user typed
    // is kept.
    void suggest_dest(const std::wstring& source);
    int check_fields();
    int check_server_dest();
    int check_dump_dest();
    void on_browse_src();

    std::wstring suggested;  // what the destination field was last given
    // The kinds of source and destination the page last showed.
    std::optional<bool> shown_xls;
    std::optional<bool> shown_direct;
};
