// File names: a path made absolute and split into drive, folder, name and
// extension, and the program's own path. There are no drive letters on this
// platform: `drive` stays empty and `dir` begins and ends with '/'. Paths of
// any length are accepted.
#pragma once

#include <string>

class tk_file_name {
public:
    // An empty path stands for the program's own file.
    explicit tk_file_name(const std::string& path);
    explicit tk_file_name(const char* path);

    void initialize(const char* path);
    // The drive and folder, ending with a separator.
    std::string get_path() const;

    std::string ext;    // with its dot
    std::string drive;  // always empty here
    std::string name;   // without its extension
    std::string dir;    // with leading and trailing separators
};

class tk_file_wname {
public:
    // An empty path stands for the program's own drive, folder and extension,
    // with an empty name.
    explicit tk_file_wname(const std::wstring& path);
    explicit tk_file_wname(const wchar_t* path);

    void initialize(const wchar_t* path);
    // Joins the four fields again; callers change a field first (the
    // extension, say) to name a sibling file.
    std::wstring make_path() const;

    std::wstring ext;
    std::wstring drive;
    std::wstring name;
    std::wstring dir;
};

// The running program's full path; an unreadable one is an internal error.
std::string tk_get_module_file_name();
std::wstring tk_get_module_file_wname();
// The program's drive and folder, ending with a separator.
std::string tk_get_module_dir();
