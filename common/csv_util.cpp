#include "common/csv_util.hpp"

#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "platform/syserr/pl_syserr.hpp"
#include "platform/text/pl_case.hpp"
#include "platform/text/pl_format.hpp"
#include "platform/text/pl_names.hpp"
#include "platform/text/pl_utf8.hpp"

#include <algorithm>
#include <cmath>
#include <new>

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

// The delimiter as the byte the line reader looks for, '\0' for none.
char delimiter_byte(const wchar_t* delimiter)
{
    if (delimiter == nullptr || delimiter[0] == L'\0')
        return '\0';
    const wchar_t c = delimiter[0];
    if (delimiter[1] != L'\0' || c >= 0x80 || c == L'"' || c == L'\r' || c == L'\n')
        throw tk_mail_assertion("csv_util", __LINE__);
    return static_cast<char>(c);
}

// A taken header name is numbered from itself: x_1, x_2... A name that
// grew with each repeat would reach the server's limit after a few dozen.
std::wstring numbered_name(const std::wstring& wanted, unsigned number)
{
    return wanted + L"_" + std::to_wstring(number);
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
    has_utf8 = false;
}

void csv_field::set_text(const std::wstring& text, std::string_view utf8)
{
    set_text(text);
    source_utf8 = utf8;
    has_utf8 = true;
}

bool csv_field::get_utf8(std::string_view& text) const
{
    if (!has_utf8 || var.vt != VT_BSTR)
        return false;
    text = source_utf8;
    return true;
}

void csv_field::set_ascii(std::string_view text)
{
    const auto length = static_cast<uint32_t>(text.size());
    if (var.vt != VT_BSTR) {
        set_null();
        var.vt = VT_BSTR;
        var.bstrVal = nullptr;
    }
    if (SysReAllocStringLen(&var.bstrVal, nullptr, length) == 0)
        throw std::bad_alloc();  // the only way it fails
    std::copy(text.begin(), text.end(), var.bstrVal);
    size = length;
    source_utf8 = text;
    has_utf8 = true;
}

void csv_field::set_null()
{
    ole_variant::operator=(ole_variant());
    var.vt = VT_NULL;
    size = 0;
    has_utf8 = false;
}

void csv_record::do_create(const csv_line& line, const csv_decoder& decoder)
{
    tk_logger::log(1, "csv_record::do_create(line %I64d, %d fields)", line.number, static_cast<int>(line.fields));
    const size_t columns = schema->size();
    total_size = 0;
    for (size_t i = 0; i < columns; ++i) {
        const std::wstring& column = (*schema)[i]->name;
        if (i == size())
            push_back(std::make_unique<csv_field>(column));
        auto& field = static_cast<csv_field&>(*(*this)[i]);
        if (!platform::same_text(field.name, column))
            field.name = column;
        if (i < line.size() && decoder.all_ascii()) {
            field.set_ascii(line.field(i));
        } else if (i < line.size()) {
            decoder.decode(line.field(i), token);
            if (decoder.is_ansi())
                field.set_text(token);
            else
                field.set_text(token, line.field(i));
        } else {
            field.set_null();
        }
        total_size += field.size;
    }
    resize(columns);
}

int64_t csv_record::get_total_size() const
{
    return tk_logger::logs(1) ? udb_record::get_total_size() : total_size;
}

csv_file::csv_file(const std::wstring& path, const wchar_t* delimiter_, bool has_header, int64_t line_limit,
                   int64_t read_limit, const std::wstring& shown_name)
    : udb_recordset(nullptr, std::wstring(), true), source(shown_name.empty() ? path : shown_name),
      input(delimiter_byte(delimiter_), 1 << 20, line_limit), delimiter(delimiter_)
{
    tk_logger::wlog(1, L"csv_file::ctor(%s)", path.c_str());
    if (!input.open(platform::to_utf8(path), read_limit))
        throw tk_exception(open_failure("the CSV file", source), 1);
    input.set_shown_name(platform::to_utf8(source));
    file_size.store(input.file_size());
    tk_logger::log(1, "=== Got file size: %I64d ===", input.file_size());
    tk_logger::log(1, "csv_file::reset");
    get_line();
    empty = !has_current;
    init_schema(has_header);
    if (has_header)
        get_line();
}

csv_file::csv_file(const std::wstring& path, const wchar_t* delimiter_)
    : udb_recordset(nullptr, std::wstring(), true), source(path), input('\0', 0), delimiter(delimiter_)
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
    const size_t columns = schema.size();
    do
        has_current = ahead != nullptr ? ahead->get_line(current)
                                       : input.get_line(current, columns > 0 ? columns : max_columns);
    while (has_current && current.blank && columns > 1);
    position.store(ahead != nullptr ? ahead->position() : input.position(), std::memory_order_relaxed);
    if (!has_current)
        return;
    tk_logger::log(1, "result=line %I64d, %d fields", current.number, static_cast<int>(current.fields));
    if (decoder.choose(current) && first_ansi == 0)
        first_ansi = current.number;
    if (columns > 0 && current.dropped_text && long_record_count++ == 0)
        first_long_line = current.number;
    if (current.stray_quote > 0 && stray_quote_count++ == 0)
        first_stray_quote = {current.number, current.stray_quote};
}

void csv_file::init_schema(bool has_header)
{
    tk_logger::log(1, "csv_file::init_schema");
    if (current.fields > max_columns)
        throw tk_exception(platform::format("Line %I64d of the CSV file '%S' has %I64d fields, more than any table "
                                            "can hold.",
                                            current.number, source.c_str(), static_cast<int64_t>(current.fields)),
                           1);
    std::vector<std::wstring> names;
    std::vector<bool> generated;
    std::wstring text;
    // An empty file has one column, like an empty line.
    for (size_t i = 0; i < std::max<size_t>(current.size(), 1); ++i) {
        if (i < current.size())
            decoder.decode(current.field(i), text);
        std::wstring column = has_header ? tk_wtrim(text) : std::wstring();
        generated.push_back(column.empty());
        names.push_back(column.empty() ? platform::format(L"F%d", static_cast<int>(i + 1)) : std::move(column));
    }
    for (size_t i = 0; i < names.size(); ++i)
        headers.push_back(generated[i] ? std::wstring() : names[i]);
    platform::make_names_unique(names, generated, numbered_name);
    for (const std::wstring& column : names)
        schema.push_back(std::make_shared<t_ftd>(text_size, column, VT_BSTR, false, false, ole_variant(), 0,
                                                 std::wstring()));
}

udb_record* csv_file::get_item()
{
    if (last_record == nullptr)
        last_record = std::make_unique<csv_record>(&schema);
    last_record->do_create(current, decoder);
    return last_record.get();
}

bool csv_file::get_texts(std::vector<std::string_view>& values) const
{
    if (!has_current || decoder.is_ansi()) {
        values.clear();
        return false;
    }
    // Set in place: the list keeps its room from line to line.
    values.resize(std::min(current.size(), schema.size()));
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = current.field(i);
    return true;
}

bool csv_file::is_eof()
{
    return !has_current;
}

void csv_file::next()
{
    // Lines are cut ahead once records are read one after another: a file
    // opened for its columns or its first record cuts no line it does not
    // read.
    if (ahead == nullptr && !schema.empty())
        ahead = std::make_unique<csv_read_ahead>(input, schema.size());
    get_line();
}

void csv_file::prev()
{
    throw tk_mail_assertion("csv_util", 340);
}

void csv_file::reset()
{
    tk_logger::log(1, "csv_file::reset");
    ahead.reset();
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
