#include "TK/tk_yaml.hpp"

#include "TK/tk_lines.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"

bool tk_yaml_config::load(tk_yaml_map& result, const char* file_name, const std::set<std::wstring>& filter)
{
    tk_logger::log(2, "tk_yaml_config::load(%s)", file_name);
    tk_line_reader reader(file_name != nullptr ? file_name : "");
    if (!reader.is_open())
        return false;
    std::string key;  // items before the first key line go under the empty key
    std::string line;
    while (reader.next(line)) {
        tk_logger::log(1, "Got text line: %s", line.c_str());
        line = tk_trim(line);
        if (line.empty()) {
            tk_logger::log(1, "Skip empty line");
        } else if (line.back() == ':') {
            key = line.substr(0, line.size() - 1);
        } else if (line.front() == '-') {
            const std::string item = tk_trim(line.substr(1));
            if (filter.contains(tk_to_unicode(item))) {
                tk_logger::log(1, "String '%s' has not passed the filter", item.c_str());
                continue;
            }
            result[tk_to_unicode(key)].push_back(tk_to_unicode(item));
            tk_logger::log(1, "String '%s' has been stored under key='%s'", item.c_str(), key.c_str());
        }
    }
    return true;
}
