// One input of the CSV reader checked the way the fuzz target and the tests
// share: the first byte chooses the delimiter, the header and the line
// limit, the rest is the file. Every record has a field for every column,
// each a text of its own length or NULL, and the records written back as CSV
// read back as the same values (NULL as an empty value).
#pragma once

#include "TK/tk_excep.hpp"
#include "common/csv_util.hpp"
#include "platform/text/pl_utf8.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace csv_trip {

using value = std::optional<std::wstring>;
using records = std::vector<std::vector<value>>;

// A file in memory with a path the reader and the writer can open.
class memory_file {
public:
    explicit memory_file(std::string_view bytes) : fd(::memfd_create("csv", 0))
    {
        for (size_t done = 0; fd >= 0 && done < bytes.size();) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n <= 0)
                break;
            done += static_cast<size_t>(n);
        }
    }
    ~memory_file()
    {
        if (fd >= 0)
            ::close(fd);
    }
    memory_file(const memory_file&) = delete;
    memory_file& operator=(const memory_file&) = delete;
    std::wstring path() const { return L"/proc/self/fd/" + std::to_wstring(fd); }

private:
    int fd;
};

// The records of the file; a failure text when one breaks the rules.
inline records read_all(csv_file& file, std::string& failure)
{
    records out;
    for (; !file.is_eof(); file.next()) {
        const udb_record& record = *file.get_item();
        if (record.size() != file.schema.size())
            failure = "a record without a field for every column";
        std::vector<value> values;
        for (const auto& field : record) {
            if (field->get_type() == VT_NULL) {
                values.emplace_back();
                continue;
            }
            values.emplace_back(field->to_wstring());
            if (field->get_type() != VT_BSTR || field->get_size() != values.back()->size())
                failure = "a field that is no text of its own size";
        }
        out.push_back(std::move(values));
    }
    return out;
}

// Empty when the input passes, else what went wrong.
inline std::string check(std::string_view input)
{
    if (input.empty())
        return std::string();
    static const wchar_t* const delimiters[] = {L"\t", L";", L",", L" "};
    const wchar_t* delimiter = delimiters[input[0] & 3];
    const bool has_header = (input[0] & 4) != 0;
    const int64_t limit = (input[0] & 8) != 0 ? 64 : csv_line_reader::default_line_limit;
    const memory_file source(input.substr(1));
    std::string failure;
    records first;
    try {
        csv_file file(source.path(), delimiter, has_header, limit);
        first = read_all(file, failure);
    } catch (const tk_exception& e) {
        // Lines over the limit and too many columns are refused by design.
        return e.get_level() == 1 ? std::string() : std::string("an unexpected failure: ") + e.what();
    }
    if (!failure.empty() || has_header || first.empty())
        return failure;
    // A leading byte-order mark would be read as one, not as text.
    if (first[0][0] && first[0][0]->starts_with(L"\uFEFF"))
        return failure;
    const memory_file copy("");
    {
        csv_file out(copy.path(), delimiter);
        for (const auto& values : first) {
            udb_record record;
            for (const value& v : values)
                record.push_back(std::make_unique<udb_field>(L"", 0, ole_variant(v.value_or(L"")), false, false));
            out.append_record(record);
        }
    }
    csv_file again(copy.path(), delimiter, false);
    records second = read_all(again, failure);
    for (auto& values : first)
        for (value& v : values)
            v = v.value_or(L"");
    if (second != first)
        failure = "records written as CSV read back otherwise";
    return failure;
}

} // namespace csv_trip
