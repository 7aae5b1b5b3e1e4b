// The first pages: the kinds of source and destination (and Load settings),
// the dump file's options, and the server login, which connects before the
// wizard goes on.
#pragma once

#include "GUI2/g_wiz_pg.hpp"
#include "rvl_shel/rs_form.hpp"

#include <string>

class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class dump_form;

class welcome_page : public wizard_page<welcome_page_id, wiz_next, psp_hideheader | psp_hashelp> {
public:
    // extension: of the profiles Load settings offers ("rvl").
    explicit welcome_page(const std::wstring& extension);

    int page_init() override;
    void on_help() override;
    int on_next() override;

    void fill_combos();
    void on_load();
    // Applies the profile, or reports why it cannot and changes nothing.
    void load(const std::wstring& path);

    QLabel* heading;
    QPushButton* load_button;
    QComboBox* source;
    QComboBox* destination;

private:
    const std::wstring extension;
    // The source and destination of the kinds not chosen now, kept apart so
    // that a path never shows under another kind's label.
    std::wstring other_src;
    std::wstring other_dest;
};

class dump_page : public wizard_page<dump_page_id, wiz_back_next, psp_hashelp> {
public:
    dump_page();

    int page_init() override;
    void on_help() override;
    int on_next() override;
    int on_back() override;

    dump_form* form;

private:
    void store();
};

class settings_page : public wizard_page<settings_page_id, wiz_back_next, psp_hashelp> {
public:
    settings_page();

    int page_init() override;
    void on_help() override;
    int on_next() override;
    int on_back() override;

    QRadioButton* local;
    QRadioButton* remote;
    QLineEdit* user;
    QLineEdit* password;
    QLineEdit* host;
    QLineEdit* port;

private:
    void enable_remote(bool enable);
    void store();
};
