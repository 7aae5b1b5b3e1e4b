// The open and save dialogs through which the pages choose workbooks, CSV
// files, dump files, log files and profiles. Each starts in the folder of the
// path it is given, offering that path's file name without its extension; the
// process's current folder is left alone.
#pragma once

#include "GUI2/g_uiport.hpp"

#include <string>
#include <utility>
#include <vector>

class QWidget;

// (description, patterns) pairs; patterns as "*.xls;*.xlsx".
using file_filter = std::vector<std::pair<std::wstring, std::wstring>>;

// The pairs of a bar-separated filter text ("Profile Files (.rvl)|*.rvl|All
// Files (*.*)|*.*|").
file_filter parse_filter(const std::wstring& bars);

class file_dialog {
public:
    // initial_path: usually the page's current text; empty starts in the
    // current folder with no name.
    file_dialog(QWidget* owner, const file_filter& filter, const std::wstring& title,
                const std::wstring& initial_path);
    virtual ~file_dialog() = default;
    file_dialog(const file_dialog&) = delete;
    file_dialog& operator=(const file_dialog&) = delete;

    // True when the user chose a file; get_path() has it then.
    virtual bool show() = 0;
    const std::wstring& get_path() const { return path; }

protected:
    file_request request;
    std::wstring path;
};

class open_file_dialog : public file_dialog {
public:
    using file_dialog::file_dialog;
    bool show() override;
};

class save_file_dialog : public file_dialog {
public:
    // default_ext with or without its dot; null is an internal error.
    save_file_dialog(QWidget* owner, const file_filter& filter, const std::wstring& title,
                     const std::wstring& initial_path, const wchar_t* default_ext);
    // A chosen file name that does not contain the extension (in any case)
    // gets it.
    bool show() override;

private:
    std::wstring extension;
};
