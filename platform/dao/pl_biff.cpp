#include "platform/dao/pl_biff.hpp"

#include "platform/dao/pl_brec.hpp"
#include "platform/dao/pl_cfb.hpp"
#include "platform/dao/pl_rderr.hpp"

#include <cstring>

namespace platform::dao {

namespace {

enum : uint16_t {
    bof_record = 0x0809,
    eof_record = 0x000A,
    filepass_record = 0x002F,
    codepage_record = 0x0042,
    datemode_record = 0x0022,
    format_record = 0x041E,
    xf_record = 0x00E0,
    boundsheet_record = 0x0085,
    sst_record = 0x00FC,
    number_record = 0x0203,
    rk_record = 0x027E,
    mulrk_record = 0x00BD,
    labelsst_record = 0x00FD,
    label_record = 0x0204,
    rstring_record = 0x00D6,
    boolerr_record = 0x0205,
    formula_record = 0x0006,
    string_record = 0x0207,
};

constexpr uint16_t biff8_version = 0x0600;
constexpr uint16_t biff5_version = 0x0500;
constexpr uint16_t worksheet_substream = 0x0010;

// An RK number: a 30-bit integer or the top 30 bits of a double, perhaps
// divided by 100.
double rk_value(uint32_t rk)
{
    double v;
    if (rk & 2) {
        v = double(int32_t(rk) >> 2);
    } else {
        const uint64_t bits = uint64_t(rk & 0xFFFFFFFC) << 32;
        std::memcpy(&v, &bits, sizeof v);
    }
    return rk & 1 ? v / 100 : v;
}

// The substream type of the BOF record at offset, or 0 when none is there.
uint16_t substream_at(std::string_view stream, size_t offset)
{
    if (offset >= stream.size())
        return 0;
    record_stream rs(stream, offset);
    biff_record r;
    if (!rs.next(r) || r.type != bof_record || r.data.size() < 4)
        return 0;
    record_reader rd(r.data);
    rd.u16();
    return rd.u16();
}

struct cell_place {
    uint16_t row, col, xf;
};

cell_place place(record_reader& r)
{
    cell_place p;
    p.row = r.u16();
    p.col = r.u16();
    p.xf = r.u16();
    if (p.col >= table_builder::max_columns)
        throw format_fault("cell beyond the last column");
    return p;
}

} // namespace

biff_reader::biff_reader(std::string_view file, text_pool& pool) : pool(pool)
{
    const compound_file container(file);
    if (container.has("EncryptedPackage"))
        throw encrypted_fault("encrypted package");
    stream = container.read(container.has("Workbook") ? "Workbook" : "Book");
    read_globals();
}

std::string biff_reader::text(record_reader& r, bool wide_count) const
{
    return biff8 ? r.unicode_text(wide_count) : r.byte_text(wide_count, codepage);
}

void biff_reader::read_globals()
{
    record_stream rs(stream);
    biff_record r;
    if (!rs.next(r) || r.type != bof_record || r.data.size() < 4)
        throw format_fault("no workbook in the stream");
    const uint16_t version = record_reader(r.data).u16();
    if (version != biff8_version && version != biff5_version)
        throw format_fault("unsupported BIFF version");
    biff8 = version == biff8_version;
    while (rs.next(r)) {
        record_reader rd(r.data);
        switch (r.type) {
        case eof_record:
            return;
        case filepass_record:
            throw encrypted_fault("FILEPASS");
        case codepage_record:
            if (!biff8)
                codepage = codepage_text(rd.u16());
            break;
        case datemode_record:
            date1904 = rd.u16() == 1;
            break;
        case format_record: {
            const uint16_t id = rd.u16();
            formats[id] = classify_format_code(biff8 ? rd.unicode_text(true) : rd.byte_text(false, codepage));
            break;
        }
        case xf_record:
            rd.skip(2);
            xf_formats.push_back(rd.u16());
            break;
        case boundsheet_record:
            add_sheet(rd);
            break;
        case sst_record: {
            std::vector<std::string_view> parts{r.data};
            for (std::string_view part : rs.continues())
                parts.push_back(part);
            record_reader sr(std::move(parts));
            read_strings(sr);
            break;
        }
        default:
            break;
        }
    }
    throw format_fault("workbook globals without an end");
}

void biff_reader::add_sheet(record_reader& r)
{
    const uint32_t offset = r.u32();
    r.u8();  // visibility: hidden sheets are tables too
    const uint8_t type = r.u8();
    std::string name = text(r, false);
    if (type != 0)
        return;  // macro sheet, chart or module
    const uint16_t substream = substream_at(stream, offset);
    if (substream == 0)
        throw format_fault("sheet list pointing outside the stream");
    if (substream != worksheet_substream)
        return;
    sheet_names.push_back(std::move(name));
    sheet_offsets.push_back(offset);
}

void biff_reader::read_strings(record_reader& r)
{
    r.u32();  // uses in the workbook
    const uint32_t unique = r.u32();
    shared_strings.clear();
    for (uint32_t i = 0; i < unique && !r.at_end(); ++i) {
        const std::string text = r.unicode_text(true);
        if (text.size() > text_pool::max_length)
            text_pool::refuse_long("shared string " + std::to_string(i));
        shared_strings.push_back(pool.add(text));
    }
}

cell_kind biff_reader::style_kind(uint16_t xf) const
{
    if (xf >= xf_formats.size())
        return cell_kind::number;
    const uint16_t id = xf_formats[xf];
    const auto it = formats.find(id);
    return it != formats.end() ? it->second : classify_builtin_format(id);
}

void biff_reader::load(size_t index, table_builder& out)
{
    record_stream rs(stream, sheet_offsets.at(index));
    biff_record r;
    int depth = 0;
    bool string_pending = false;  // a formula's text result comes in the next STRING record
    cell_place pending{};
    out.set_date1904(date1904);
    auto add_number = [&](const cell_place& p, double v) { out.add_number(p.row, p.col, v, style_kind(p.xf)); };
    while (rs.next(r)) {
        if (r.type == bof_record) {
            ++depth;  // an embedded chart has a substream of its own
            continue;
        }
        if (r.type == eof_record) {
            if (--depth == 0)
                return;
            continue;
        }
        if (depth != 1)
            continue;
        record_reader rd(r.data);
        switch (r.type) {
        case number_record: {
            const cell_place p = place(rd);
            add_number(p, rd.f64());
            break;
        }
        case rk_record: {
            const cell_place p = place(rd);
            add_number(p, rk_value(rd.u32()));
            break;
        }
        case mulrk_record: {
            if (r.data.size() < 6)
                throw format_fault("short MULRK record");
            cell_place p{rd.u16(), rd.u16(), 0};
            for (size_t n = (r.data.size() - 6) / 6; n > 0; --n, ++p.col) {
                if (p.col >= table_builder::max_columns)
                    throw format_fault("cell beyond the last column");
                p.xf = rd.u16();
                add_number(p, rk_value(rd.u32()));
            }
            break;
        }
        case labelsst_record: {
            const cell_place p = place(rd);
            const uint32_t i = rd.u32();
            if (i >= shared_strings.size())
                throw format_fault("shared string index beyond the table");
            out.add_text(p.row, p.col, shared_strings[i]);
            break;
        }
        case label_record:
        case rstring_record: {
            const cell_place p = place(rd);
            out.add_text(p.row, p.col, std::string_view(text(rd, true)));
            break;
        }
        case boolerr_record: {
            const cell_place p = place(rd);
            const uint8_t value = rd.u8();
            if (rd.u8() == 0)
                out.add_boolean(p.row, p.col, value != 0);
            else
                out.add_error(p.row, p.col);
            break;
        }
        case formula_record: {
            const cell_place p = place(rd);
            uint8_t result[8];
            for (uint8_t& b : result)
                b = rd.u8();
            string_pending = false;
            if (result[6] != 0xFF || result[7] != 0xFF) {
                double v;
                std::memcpy(&v, result, sizeof v);
                add_number(p, v);
            } else if (result[0] == 0) {
                string_pending = true;
                pending = p;
            } else if (result[0] == 1) {
                out.add_boolean(p.row, p.col, result[2] != 0);
            } else if (result[0] == 2) {
                out.add_error(p.row, p.col);
            }
            break;
        }
        case string_record:
            if (string_pending) {
                std::vector<std::string_view> parts{r.data};
                for (std::string_view part : rs.continues())
                    parts.push_back(part);
                record_reader sr(std::move(parts));
                out.add_text(pending.row, pending.col, std::string_view(text(sr, true)));
                string_pending = false;
            }
            break;
        default:
            break;
        }
    }
    throw format_fault("sheet without an end");
}

} // namespace platform::dao
