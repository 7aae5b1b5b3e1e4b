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
    // The ids of Excel 2.x to 4.0, which some writers still put in BIFF5
    // and BIFF8 streams; the 2.x cells in either of two forms (see
    // old_form), a formula's text in the form of its stream.
    integer_old_record = 0x0002,
    number_old_record = 0x0003,
    label_old_record = 0x0004,
    boolerr_old_record = 0x0005,
    string_old_record = 0x0007,
    formula3_record = 0x0206,
    formula4_record = 0x0406,
    rk_old_record = 0x007E,
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

// Excel 2.x gave a cell three bytes of attributes where later versions give
// a style number; the style is in the low six bits of the first.
cell_place old_place(record_reader& r)
{
    cell_place p;
    p.row = r.u16();
    p.col = r.u16();
    p.xf = r.u8() & 0x3F;
    r.skip(2);
    if (p.col >= table_builder::max_columns)
        throw format_fault("cell beyond the last column");
    return p;
}

enum class record_form { old, current, unknown };

// An Excel 2.x id holds its cell as Excel 2.x wrote it (three bytes of
// attributes, a one-byte text count) or as later versions write their own
// records (a style number, a two-byte count); the size tells which, as no
// record fits both.
record_form old_form(const biff_record& r)
{
    const size_t size = r.data.size();
    const auto byte = [&](size_t at) { return size_t(uint8_t(r.data[at])); };
    switch (r.type) {
    case integer_old_record:
    case boolerr_old_record:
        return size == 9 ? record_form::old : size == 8 ? record_form::current : record_form::unknown;
    case number_old_record:
        return size == 15 ? record_form::old : size == 14 ? record_form::current : record_form::unknown;
    case label_old_record:
        return size >= 8 && byte(7) == size - 8 ? record_form::old : record_form::current;
    default:
        return record_form::current;
    }
}

std::string hex_id(uint16_t id)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out = "0x";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += digits[(id >> shift) & 0xF];
    return out;
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
        case format_record:
            add_format(rd);
            break;
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

// A number format only tells how cells show: one whose record ends before
// its code does is read as far as it goes, and the sheets say so.
void biff_reader::add_format(record_reader& r)
{
    const uint16_t id = r.u16();
    size_t missing = 0;
    const std::string code =
        biff8 ? r.unicode_text_upto_end(true, missing) : r.byte_text_upto_end(false, codepage, missing);
    formats[id] = classify_format_code(code);
    if (missing != 0)
        book_notes.push_back("number format " + std::to_string(id) + " is " + std::to_string(missing) +
                             (missing == 1 ? " character" : " characters") +
                             " shorter than its record says: read as \"" + code + "\"");
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

// What the cells of one sheet need from one record to the next.
struct biff_reader::sheet_state {
    explicit sheet_state(table_builder& out) : out(out) {}
    table_builder& out;
    bool string_pending = false;  // a formula's text result comes in the next STRING record
    cell_place pending{};
    size_t unread = 0;  // cells that may hold a value this reader could not take
    std::string first_unread;

    void add_number(const biff_reader& book, const cell_place& p, double v)
    {
        out.add_number(p.row, p.col, v, book.style_kind(p.xf));
    }
    void not_read(std::string what)
    {
        if (unread++ == 0)
            first_unread = std::move(what);
    }
    void not_read(const biff_record& r);  // a record of no form this reader knows
    // A cell record after a formula whose text was to follow: that text
    // never came.
    void end_pending()
    {
        if (string_pending)
            lose_pending();
    }
    void lose_pending()
    {
        not_read(cell_name(pending.row, pending.col) + ", a formula whose text result the file does not hold");
        string_pending = false;
    }
    void tell_unread() const
    {
        if (unread == 1)
            out.add_loss(first_unread + ": its value is not carried");
        else if (unread > 1)
            out.add_loss(std::to_string(unread) + " cells are not carried (the first: " + first_unread + ")");
    }
};

void biff_reader::sheet_state::not_read(const biff_record& r)
{
    std::string place = "a cell";
    if (r.data.size() >= 4) {
        record_reader rd(r.data);
        const uint16_t row = rd.u16();
        place = cell_name(row, rd.u16());
    }
    not_read(place + ", in a record " + hex_id(r.type) + " of " + std::to_string(r.data.size()) +
             " bytes, a form this program does not read");
}

// Inlined into the loop over a sheet's records, where the call would cost
// more than most records' reading.
inline void biff_reader::read_record(const biff_record& r, record_stream& rs, sheet_state& s) const
{
    // Only the ids of Excel 2.x come in two forms.
    const record_form form = r.type <= boolerr_old_record ? old_form(r) : record_form::current;
    if (form == record_form::unknown) {
        s.not_read(r);
        return;
    }
    record_reader rd(r.data);
    const bool old = form == record_form::old;
    table_builder& out = s.out;
    switch (r.type) {
    case number_record:
    case number_old_record: {
        s.end_pending();
        const cell_place p = old ? old_place(rd) : place(rd);
        s.add_number(*this, p, rd.f64());
        break;
    }
    case integer_old_record: {
        s.end_pending();
        const cell_place p = old ? old_place(rd) : place(rd);
        s.add_number(*this, p, rd.u16());
        break;
    }
    case rk_record:
    case rk_old_record: {
        s.end_pending();
        const cell_place p = place(rd);
        s.add_number(*this, p, rk_value(rd.u32()));
        break;
    }
    case mulrk_record: {
        s.end_pending();
        if (r.data.size() < 6)
            throw format_fault("short MULRK record");
        cell_place p{rd.u16(), rd.u16(), 0};
        for (size_t n = (r.data.size() - 6) / 6; n > 0; --n, ++p.col) {
            if (p.col >= table_builder::max_columns)
                throw format_fault("cell beyond the last column");
            p.xf = rd.u16();
            s.add_number(*this, p, rk_value(rd.u32()));
        }
        break;
    }
    case labelsst_record: {
        s.end_pending();
        const cell_place p = place(rd);
        const uint32_t i = rd.u32();
        if (i >= shared_strings.size())
            throw format_fault("shared string index beyond the table");
        out.add_text(p.row, p.col, shared_strings[i]);
        break;
    }
    case label_record:
    case label_old_record:
    case rstring_record: {
        s.end_pending();
        const cell_place p = old ? old_place(rd) : place(rd);
        out.add_text(p.row, p.col, std::string_view(old ? rd.byte_text(false, codepage) : text(rd, true)));
        break;
    }
    case boolerr_record:
    case boolerr_old_record: {
        s.end_pending();
        const cell_place p = old ? old_place(rd) : place(rd);
        const uint8_t value = rd.u8();
        if (rd.u8() == 0)
            out.add_boolean(p.row, p.col, value != 0);
        else
            out.add_error(p.row, p.col);
        break;
    }
    case formula_record:
    case formula3_record:
    case formula4_record:
        s.end_pending();
        read_formula(rd, s);
        break;
    case string_record:
    case string_old_record:
        if (s.string_pending) {
            std::vector<std::string_view> parts{r.data};
            for (std::string_view part : rs.continues())
                parts.push_back(part);
            record_reader sr(std::move(parts));
            out.add_text(s.pending.row, s.pending.col, std::string_view(text(sr, true)));
            s.string_pending = false;
        }
        break;
    default:
        break;
    }
}

// The result a formula had when the file was saved: a number, or a kind
// and its value in the 8 bytes a number would take.
void biff_reader::read_formula(record_reader& rd, sheet_state& s) const
{
    const cell_place p = place(rd);
    uint8_t result[8];
    for (uint8_t& b : result)
        b = rd.u8();
    if (result[6] != 0xFF || result[7] != 0xFF) {
        double v;
        std::memcpy(&v, result, sizeof v);
        s.add_number(*this, p, v);
        return;
    }
    switch (result[0]) {
    case 0:
        s.string_pending = true;
        s.pending = p;
        break;
    case 1:
        s.out.add_boolean(p.row, p.col, result[2] != 0);
        break;
    case 2:
        s.out.add_error(p.row, p.col);
        break;
    case 3:
        break;  // an empty text
    default:
        s.not_read(cell_name(p.row, p.col) + ", a formula result of a kind this program does not read (" +
                   hex_id(result[0]) + ")");
        break;
    }
}

void biff_reader::load(size_t index, table_builder& out)
{
    record_stream rs(stream, sheet_offsets.at(index));
    biff_record r;
    int depth = 0;
    sheet_state state(out);
    out.set_date1904(date1904);
    for (const std::string& line : book_notes)
        out.add_notice(line);
    while (rs.next(r)) {
        if (r.type == bof_record) {
            ++depth;  // an embedded chart has a substream of its own
            continue;
        }
        if (r.type == eof_record) {
            if (--depth != 0)
                continue;
            state.end_pending();
            state.tell_unread();
            return;
        }
        if (depth == 1)
            read_record(r, rs, state);
    }
    throw format_fault("sheet without an end");
}

} // namespace platform::dao
