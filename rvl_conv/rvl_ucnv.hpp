// The settings and the progress of a conversion that do not depend on its
// source or destination. The progress (counters, the current table) is
// written by the thread that runs the conversion and read by another, so the
// counters are atomic and the table name is published under a lock.
#pragma once

#include "TK/tk_conv.hpp"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class udb_profile;

class udb_converter : public tk_converter {
public:
    udb_converter();

    // The worksheet, query and view lists (appended to) and the generic
    // settings of a profile.
    bool load_profile(udb_profile& profile);
    bool store_profile(udb_profile& profile) const;

    // 0 overwrite the entire database, 1 overwrite existing tables only,
    // 2 skip existing tables, 3 merge.
    void set_mode(int32_t mode);
    int32_t get_mode() const { return mode; }

    void set_src(const std::wstring& path) { src = path; }
    const std::wstring& get_src() const { return src; }
    void set_dest(const std::wstring& name) { dest = name; }
    const std::wstring& get_dest() const { return dest; }

    std::wstring get_cur_table() const;
    void set_cur_table(const std::wstring& name);

    std::atomic<uint32_t> tables_total{0};
    std::atomic<uint32_t> tables_done{0};
    std::atomic<uint64_t> rows_total{0};
    std::atomic<uint64_t> rows_done{0};

    // Names the table-name validator treats as taken.
    std::vector<std::wstring> sel_tables;
    // (name, SELECT text): selected worksheets (text empty) and queries.
    std::vector<std::pair<std::wstring, std::wstring>> sel_queries;
    std::vector<std::pair<std::wstring, std::wstring>> available_queries;
    std::vector<std::pair<std::wstring, std::wstring>> selected_views;
    bool tab_def = false;  // structure only, no rows
    bool skip_indexes = false;
    // A loaded profile named one of the four modes.
    bool mode_from_profile = false;

protected:
    int32_t mode = 0;

private:
    mutable std::mutex cur_table_mutex;
    std::wstring cur_table;
};
