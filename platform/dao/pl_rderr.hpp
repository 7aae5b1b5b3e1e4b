// Why a workbook could not be read. The numbers are those of the database
// engine the workbook layer stands in for, so the layer above can report a
// failure exactly as that engine would; the description names the file.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace platform::dao {

class read_error : public std::runtime_error {
public:
    static constexpr int32_t not_found = 3024;
    static constexpr int32_t cannot_open = 3051;
    static constexpr int32_t encrypted = 3161;
    static constexpr int32_t bad_format = 3274;

    read_error(int32_t number, const std::string& description)
        : std::runtime_error(description), number_(number) {}

    int32_t number() const { return number_; }
    const char* description() const { return what(); }

    static read_error missing_file(const std::string& path);
    static read_error unreadable_file(const std::string& path);
    static read_error encrypted_file(const std::string& path);
    // detail says what was wrong, for whoever reads the log.
    static read_error not_expected_format(const std::string& path, const std::string& detail);

private:
    int32_t number_;
};

// Raised inside the readers, which do not know the file's name; the workbook
// turns them into read_error.
struct format_fault : std::runtime_error {
    using std::runtime_error::runtime_error;
};
struct encrypted_fault : std::runtime_error {
    using std::runtime_error::runtime_error;
};

} // namespace platform::dao
