// Reader of key-and-item-list files ("sql.map", "sql.typ"): a line ending
// with a colon opens a key, each following line beginning with a dash adds an
// item to it; empty and other lines are skipped. UTF-8 text.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

using tk_yaml_map = std::map<std::wstring, std::vector<std::wstring>>;

struct tk_yaml_config {
    // Adds the file's keys and items to `result` (which is not emptied
    // first), leaving out the items that `filter` holds. False only when the
    // file cannot be opened.
    static bool load(tk_yaml_map& result, const char* file_name, const std::set<std::wstring>& filter);
};
