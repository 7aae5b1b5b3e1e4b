#include "SQL/sql_optf.hpp"

#include "TK/tk_log.hpp"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

constexpr int include_depth = 10;  // a file including itself ends here

std::string trimmed(const std::string& text)
{
    const size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos)
        return std::string();
    return text.substr(begin, text.find_last_not_of(" \t\r") - begin + 1);
}

bool positive(const std::string& text, unsigned& value)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 9)
        return false;
    const unsigned long number = std::strtoul(text.c_str(), nullptr, 10);
    if (number == 0)
        return false;
    value = static_cast<unsigned>(number);
    return true;
}

class option_reader {
public:
    explicit option_reader(const std::string& group_) : group(group_) {}
    sql_client_timeouts timeouts;

    void read_file(const std::filesystem::path& path, int depth)
    {
        std::ifstream in(path);
        if (!in || depth > include_depth)
            return;
        tk_logger::log(2, "Reading client options from %s", path.string().c_str());
        bool in_group = false;
        for (std::string line; std::getline(in, line);) {
            line = trimmed(line);
            if (line.empty() || line[0] == '#' || line[0] == ';')
                continue;
            if (line[0] == '[') {
                const size_t end = line.find(']');
                in_group = end != std::string::npos && trimmed(line.substr(1, end - 1)) == group;
            } else if (line[0] == '!') {
                include(line, depth);
            } else if (in_group) {
                take(line);
            }
        }
    }

private:
    void include(const std::string& line, int depth)
    {
        const size_t blank = line.find_first_of(" \t");
        if (blank == std::string::npos)
            return;
        const std::string directive = line.substr(0, blank);
        const std::filesystem::path target = trimmed(line.substr(blank));
        if (directive == "!include") {
            read_file(target, depth + 1);
        } else if (directive == "!includedir") {
            std::error_code ec;
            std::vector<std::filesystem::path> files;
            for (const auto& entry : std::filesystem::directory_iterator(target, ec))
                if (entry.path().extension() == ".cnf")
                    files.push_back(entry.path());
            std::sort(files.begin(), files.end());
            for (const auto& file : files)
                read_file(file, depth + 1);
        }
    }

    void take(const std::string& line)
    {
        const size_t equal = line.find('=');
        if (equal == std::string::npos)
            return;
        std::string key = trimmed(line.substr(0, equal));
        std::replace(key.begin(), key.end(), '_', '-');
        const std::string value = trimmed(line.substr(equal + 1));
        if (key == "read-timeout" && positive(value, timeouts.read))
            tk_logger::log(2, "read-timeout=%d", static_cast<int>(timeouts.read));
        else if (key == "write-timeout" && positive(value, timeouts.write))
            tk_logger::log(2, "write-timeout=%d", static_cast<int>(timeouts.write));
    }

    std::string group;
};

std::vector<std::string> default_files()
{
    std::vector<std::string> files{"/etc/my.cnf", "/etc/mysql/my.cnf"};
    const char* home = std::getenv("MARIADB_HOME");
    if (home == nullptr)
        home = std::getenv("MYSQL_HOME");
    if (home != nullptr)
        files.push_back(std::string(home) + "/my.cnf");
    if (const char* user_home = std::getenv("HOME"))
        files.push_back(std::string(user_home) + "/.my.cnf");
    return files;
}

} // namespace

sql_client_timeouts sql_read_timeouts(const std::string& group, const std::vector<std::string>& files)
{
    option_reader reader(group);
    for (const std::string& file : files)
        reader.read_file(file, 0);
    return reader.timeouts;
}

sql_client_timeouts sql_read_timeouts(const std::string& group)
{
    return sql_read_timeouts(group, default_files());
}
