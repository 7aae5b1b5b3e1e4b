#include "common/csv_util.hpp"

#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "UDB/udb_uniq.hpp"
#include "common/csv_splt.hpp"
#include "platform/syserr/pl_syserr.hpp"
#include "platform/text/pl_format.hpp"
#include "platform/text/pl_utf8.hpp"

#include <cmath>

namespace {

constexpr uint32_t text_size = 255;

// "Cannot open ...": the file's name and the system's reason.
std::string open_failure(const char* what, const std::wstring& path)
{
    std::string reason;
    if (platform::system_message(platform::last_error(), reason))
        reason = ": " + tk_rtrim(reason.substr(0, reason.find_first_of("\r\n")));
    return platform::format("Cannot open %s '%S'", what, path.c_str()) + reason + ".";
}

// UTF-8 to wide text into storage that is kept from line to line. Runs of
// ASCII, most of a CSV file, are copied byte by byte; the rest is decoded by
// the platform's converter. A line never has more characters than bytes.
void to_wide(const std::string& in, std::wstring& out)
{
    out.resize(in.size());
    size_t length = 0;
    for (size_t i = 0; i < in.size();) {
        if (static_cast<unsigned char>(in[i]) < 0x80) {
            out[length++] = static_cast<unsigned char>(in[i++]);
            continue;
        }
        size_t end = i;
        while (end < in.size() && static_cast<unsigned char>(in[end]) >= 0x80)
            ++end;
        const std::wstring decoded = platform::from_utf8(std::string_view(in).substr(i, end - i));
        out.replace(length, decoded.size(), decoded);
        length += decoded.size();
        i = end;
    }
    out.resize(length);
}

bool is_floating(VARTYPE vt)
{
    return vt == VT_R4 || vt == VT_R8 || vt == VT_CY || vt == VT_DECIMAL;
}

} // namespace

csv_field::csv_field(const std::wstring& name_, const std::wstring& text)
{
    name = name_;
    set_text(text);
}

void csv_field::set_text(const std::wstring& text)
{
    attach_wstring(text);
    size = static_cast<uint32_t>(text.size());
}

std::wstring csv_record::field_name(size_t position) const
{
    if (schema == nullptr || schema->empty())
        return platform::format(L"F%d", static_cast<int>(position + 1));
    return (*schema)[position]->name;
}

void csv_record::do_create(const std::wstring& line, const wchar_t* delimiter)
{
    tk_logger::wlog(1, L"csv_record::do_create(%s)", line.c_str());
    tk_logger::wlog(1, L"GOT DELIM: %s", delimiter != nullptr ? delimiter : L"");
    const size_t limit = schema != nullptr && !schema->empty() ? schema->size() : std::wstring::npos;
    csv_splitter splitter(line, delimiter != nullptr ? delimiter : L"");
    size_t count = 0;
    while (count < limit && splitter.next(token)) {
        udb_field* old = count < size() ? (*this)[count].get() : nullptr;
        if (old == nullptr) {
            resize(count);
            push_back(std::make_unique<csv_field>(field_name(count), token));
        } else {
            auto& field = static_cast<csv_field&>(*old);
            field.set_text(token);
            if (schema != nullptr && !schema->empty() && field.name != (*schema)[count]->name)
                field.name = (*schema)[count]->name;
        }
        ++count;
    }
    resize(count);
}

csv_file::csv_file(const std::wstring& path, const wchar_t* delimiter_, bool has_header)
    : udb_recordset(nullptr, std::wstring(), true), delimiter(delimiter_)
{
    tk_logger::wlog(1, L"csv_file::ctor(%s)", path.c_str());
    if (!input.open(platform::to_utf8(path)))
        throw tk_exception(open_failure("the CSV file", path), 1);
    file_size.store(input.file_size());
    tk_logger::log(1, "=== Got file size: %I64d ===", input.file_size());
    tk_logger::log(1, "csv_file::reset");
    get_line();
    init_schema(current_line, has_header);
    if (has_header)
        get_line();
}

csv_file::csv_file(const std::wstring& path, const wchar_t* delimiter_)
    : udb_recordset(nullptr, std::wstring(), true), delimiter(delimiter_)
{
    tk_logger::wlog(1, L"csv_file::ctor(%s)", path.c_str());
    output.open(platform::to_utf8(path), std::ios::binary | std::ios::trunc);
    if (!output.is_open()) {
        platform::set_last_error_from_errno();
        throw tk_exception(open_failure("the CSV file for writing", path), 1);
    }
}

csv_file::~csv_file() = default;

void csv_file::get_line()
{
    tk_logger::log(1, "csv_file::get_line");
    input.get_line(raw_line);
    to_wide(raw_line, current_line);
    position.store(input.position(), std::memory_order_relaxed);
    tk_logger::wlog(1, L"result=%s", current_line.c_str());
}

void csv_file::init_schema(const std::wstring& line, bool has_header)
{
    tk_logger::wlog(1, L"csv_file::init_schema(%s)", line.c_str());
    csv_record cells(nullptr);
    cells.do_create(line, delimiter);
    for (size_t i = 0; i < cells.size(); ++i) {
        std::wstring column = has_header ? tk_wtrim(cells[i]->to_wstring()) : std::wstring();
        if (column.empty())
            column = platform::format(L"F%d", static_cast<int>(i + 1));
        for (unsigned attempt = 0; schema.find_field(column); ++attempt)
            column += udb_unique_suffix(attempt);
        schema.push_back(std::make_shared<t_ftd>(text_size, column, VT_BSTR, false, false, ole_variant(), 0,
                                                 std::wstring()));
    }
}

udb_record* csv_file::get_item()
{
    if (last_record == nullptr)
        last_record = std::make_unique<csv_record>(&schema);
    last_record->do_create(current_line, delimiter);
    return last_record.get();
}

bool csv_file::is_eof()
{
    return input.at_end() && current_line.empty();
}

void csv_file::next()
{
    get_line();
}

void csv_file::prev()
{
    throw tk_mail_assertion("csv_util", 340);
}

void csv_file::reset()
{
    tk_logger::log(1, "csv_file::reset");
    input.rewind();
    position.store(0, std::memory_order_relaxed);
}

void csv_file::append_record(const udb_record& record)
{
    tk_logger::log(1, "csv_file::append_record");
    if (!output.is_open())
        throw tk_exception("Error opening CSV file", 1);
    const std::string separator = tk_to_ansi(delimiter != nullptr ? delimiter : L"");
    for (size_t i = 0; i < record.size(); ++i) {
        if (i > 0)
            output << separator;
        if (record[i] == nullptr)
            continue;
        if (is_floating(record[i]->get_type()))
            write_number(*record[i]);
        else
            write_csv_field(record[i]->to_wstring());
    }
    output << '\n';
    output.flush();
}

// Integral values as integers; every other value with the digits it takes
// to read back the same double.
void csv_file::write_number(const udb_field& field)
{
    tk_logger::log(1, "Got floating point number");
    const double value = field.to_double();
    constexpr double int64_limit = 9223372036854775808.0;  // 2^63
    if (value == std::trunc(value) && value >= -int64_limit && value < int64_limit) {
        tk_logger::log(1, "Number can be processed as int");
        write_csv_field(platform::format(L"%I64d", static_cast<int64_t>(value)));
        return;
    }
    const std::wstring text = platform::format(L"%.17g", value);
    tk_logger::wlog(1, L"Process number as float: %s", text.c_str());
    write_csv_field(text);
}

void csv_file::write_csv_field(const std::wstring& text)
{
    tk_logger::wlog(1, L"csv_file::write_csv_field(%s)", text.c_str());
    const std::wstring_view delim = delimiter != nullptr ? delimiter : L"";
    const bool quoted = text.find_first_of(L"\"\r\n") != std::wstring::npos
                        || (!delim.empty() && text.find(delim) != std::wstring::npos);
    std::wstring masked;
    masked.reserve(text.size());
    for (wchar_t c : text) {
        if (c == L'"') {
            tk_logger::log(1, "Mask occurrence of quote");
            masked += L'"';
        }
        masked += c;
    }
    if (quoted)
        output << '"' << platform::to_utf8(masked) << '"';
    else
        output << platform::to_utf8(masked);
}
