#include "platform/dao/pl_wbook.hpp"

#include "platform/dao/pl_biff.hpp"
#include "platform/dao/pl_xlsx.hpp"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace platform::dao {

namespace {

constexpr std::string_view zip_signature = "PK\x03\x04";
constexpr std::string_view empty_zip_signature = "PK\x05\x06";
constexpr std::string_view compound_signature = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";

// Excel 2.x to 4.0 wrote a worksheet as a bare record stream, beginning with
// its BOF record: 0x0009 of 4 bytes, or 0x0209 or 0x0409 of 6, each naming
// the substream's kind (a worksheet, chart, macro sheet or workspace).
bool is_old_biff(std::string_view head)
{
    const auto word = [&](size_t at) {
        return static_cast<unsigned>(static_cast<unsigned char>(head[at]) | static_cast<unsigned char>(head[at + 1]) << 8);
    };
    if (head.size() < 8)
        return false;
    const unsigned kind = word(0), length = word(2), sheet = word(6);
    return ((kind == 0x0009 && length == 4) || ((kind == 0x0209 || kind == 0x0409) && length == 6)) &&
           (sheet == 0x0010 || sheet == 0x0020 || sheet == 0x0040 || sheet == 0x0100);
}

std::string read_head(const std::string& path, size_t size)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw read_error::unreadable_file(path);
    std::string head(size, '\0');
    in.read(head.data(), std::streamsize(size));
    head.resize(size_t(in.gcount()));
    return head;
}

std::string read_whole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw read_error::unreadable_file(path);
    return all;
}

} // namespace

bool has_workbook_signature(const std::string& path)
{
    std::string head;
    try {
        head = read_head(path, compound_signature.size());
    } catch (const read_error&) {
        return false;
    }
    return head.starts_with(zip_signature) || head.starts_with(empty_zip_signature) ||
           head.starts_with(compound_signature) || is_old_biff(head);
}

template <class F> void workbook::guarded(F&& f)
{
    try {
        f();
    } catch (const format_fault& e) {
        throw read_error::not_expected_format(file_path, e.what());
    } catch (const encrypted_fault&) {
        throw read_error::encrypted_file(file_path);
    }
}

std::unique_ptr<workbook> workbook::open(const std::string& path, bool header_row)
{
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (status.type() == std::filesystem::file_type::not_found)
        throw read_error::missing_file(path);
    if (status.type() != std::filesystem::file_type::regular)
        throw read_error::unreadable_file(path);
    std::unique_ptr<workbook> book(new workbook(path, header_row));
    book->bytes = read_head(path, compound_signature.size());
    book->start(false);
    return book;
}

std::unique_ptr<workbook> workbook::open_bytes(std::string bytes, const std::string& name, bool header_row)
{
    std::unique_ptr<workbook> book(new workbook(name, header_row));
    book->bytes = std::move(bytes);
    book->start(true);
    return book;
}

// bytes holds the whole file, or only its first bytes when from_bytes is false.
void workbook::start(bool from_bytes)
{
    guarded([&] {
        const std::string_view head(bytes);
        if (head.starts_with(zip_signature) || head.starts_with(empty_zip_signature)) {
            if (from_bytes)
                source = std::make_unique<xlsx_reader>([this] { return zip_package(bytes.data(), bytes.size()); }, pool);
            else
                source = std::make_unique<xlsx_reader>([path = file_path] { return zip_package(path); }, pool);
        } else if (head.starts_with(compound_signature)) {
            if (!from_bytes)
                bytes = read_whole(file_path);
            source = std::make_unique<biff_reader>(bytes, pool);
        } else if (is_old_biff(head)) {
            throw format_fault("an Excel 2.x-4.0 worksheet, a format this program does not read (save it as .xls or "
                               ".xlsx)");
        } else {
            throw format_fault("neither a zip package nor a compound file");
        }
    });
    tables.resize(source->names().size());
}

const sheet_table& workbook::sheet(size_t index)
{
    if (!tables.at(index)) {
        guarded([&] {
            table_builder builder(pool);
            try {
                source->load(index, builder);
                tables[index] = std::make_unique<sheet_table>(builder.finish(header_row));
            } catch (const format_fault& e) {
                throw format_fault("worksheet '" + sheet_names().at(index) + "': " + e.what());
            }
        });
    }
    return *tables[index];
}

} // namespace platform::dao
