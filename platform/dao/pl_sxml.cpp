#include "platform/dao/pl_sxml.hpp"

#include "platform/dao/pl_rderr.hpp"
#include "platform/dao/pl_xlsx.hpp"
#include "platform/text/pl_case.hpp"
#include "platform/text/pl_utf8.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>

namespace platform::dao {

uint32_t parse_index(std::string_view text, const char* what)
{
    uint32_t v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size())
        throw format_fault(std::string("bad ") + what + " '" + std::string(text.substr(0, 40)) + "'");
    return v;
}

namespace {

// A token may be a whole cell text in a CDATA section, and a little more.
constexpr size_t max_buffer = size_t(64) << 20;

bool is_space(char c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r'; }

bool xml_char(uint32_t cp)
{
    return cp == 9 || cp == 10 || cp == 13 || (cp >= 0x20 && cp <= 0xD7FF) || (cp >= 0xE000 && cp <= 0xFFFD) ||
           (cp >= 0x10000 && cp <= 0x10FFFF);
}

} // namespace

size_t xml_char_length(const unsigned char* s, size_t n)
{
    const unsigned c = s[0];
    if (c < 0x80)
        return c >= 0x20 || c == 9 || c == 10 || c == 13 ? 1 : 0;
    const size_t len = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (len == 0 || len > n)
        return 0;
    uint32_t cp = c & (0xFF >> (len + 1));
    for (size_t i = 1; i < len; ++i) {
        if ((s[i] & 0xC0) != 0x80)
            return 0;
        cp = cp << 6 | (s[i] & 0x3F);
    }
    const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    return cp >= least[len] && xml_char(cp) ? len : 0;
}

namespace {

// Text that needs no decoding and no check: ASCII from the space on, no '&'.
bool plain(std::string_view text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x80 || c == '&')
            return false;
    return true;
}

bool all_space(const char* from, const char* to)
{
    for (; from < to; ++from)
        if (!is_space(*from))
            return false;
    return true;
}

// The first c in [from, to), or null. Most searches here end within a few
// bytes, where a call to memchr costs more than the loop.
const char* find_char(const char* from, const char* to, char c)
{
    const char* stop = to - from > 16 ? from + 16 : to;
    for (; from < stop; ++from)
        if (*from == c)
            return from;
    return from < to ? static_cast<const char*>(std::memchr(from, c, size_t(to - from))) : nullptr;
}


// Undoes the reference at raw[at] ('&'), appending its character to out;
// returns the index past its ';'.
size_t reference(std::string_view raw, size_t at, std::string& out, bool& ok)
{
    const size_t semi = raw.find(';', at);
    ok = semi != raw.npos && semi - at <= 12;
    if (!ok)
        return at;
    const std::string_view name = raw.substr(at + 1, semi - at - 1);
    static constexpr std::pair<std::string_view, char> predefined[] = {
        {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& [n, c] : predefined)
        if (name == n) {
            out += c;
            return semi + 1;
        }
    uint32_t cp = 0;
    const bool hex = name.size() > 2 && name[1] == 'x';
    ok = name.size() > (hex ? 2u : 1u) && name[0] == '#';
    for (size_t i = hex ? 2 : 1; ok && i < name.size(); ++i) {
        const char c = name[i];
        const int d = c >= '0' && c <= '9' ? c - '0' : hex && (c | 0x20) >= 'a' && (c | 0x20) <= 'f' ? (c | 0x20) - 'a' + 10 : -1;
        ok = d >= 0 && cp <= 0x10FFFF;
        cp = cp * (hex ? 16 : 10) + uint32_t(d);
    }
    ok = ok && xml_char(cp);
    if (ok) {
        static_assert(sizeof(wchar_t) == 4, "one wchar_t holds a whole code point");
        const wchar_t c = wchar_t(cp);
        append_utf8(out, std::wstring_view(&c, 1));
    }
    return semi + 1;
}



double parse_number(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '+'))
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    double v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || !std::isfinite(v))
        throw format_fault("bad number '" + std::string(text.substr(0, 40)) + "'");
    return v;
}

// "B12" -> column 1, row 11 (zero-based); false when it is no cell reference.
bool read_reference(std::string_view ref, uint32_t& row, uint32_t& col)
{
    size_t i = 0;
    uint32_t c = 0;
    for (; i < ref.size() && i < 4 && ((ref[i] >= 'A' && ref[i] <= 'Z') || (ref[i] >= 'a' && ref[i] <= 'z')); ++i)
        c = c * 26 + uint32_t((ref[i] | 0x20) - 'a' + 1);
    uint32_t r = 0;
    const auto digits = std::from_chars(ref.data() + i, ref.data() + ref.size(), r);
    if (i == 0 || c > table_builder::max_columns || digits.ec != std::errc() || digits.ptr != ref.data() + ref.size() ||
        r == 0 || r > table_builder::max_rows)
        return false;
    row = r - 1;
    col = c - 1;
    return true;
}

using platform::same_text;

// The t attribute of a cell: "n" (or none), "s", "str", "inlineStr", "b", "d", "e".
enum class cell_type : uint8_t { number, shared, text, boolean, date, error };

cell_type type_of(std::string_view t)
{
    if (t.data() == nullptr || same_text(t, "n")) return cell_type::number;
    if (same_text(t, "s")) return cell_type::shared;
    if (same_text(t, "str") || same_text(t, "inlineStr")) return cell_type::text;
    if (same_text(t, "b")) return cell_type::boolean;
    if (same_text(t, "d")) return cell_type::date;
    if (same_text(t, "e")) return cell_type::error;
    throw format_fault("unknown cell type '" + std::string(t.substr(0, 20)) + "'");
}

// The elements of a worksheet that carry cells, by local name ("x:c" is "c").
enum class element : uint8_t { other, row, c, v, is, t, phonetic, dimension };

element element_of(std::string_view local)
{
    switch (local.size()) {
    case 1: return local[0] == 'c' ? element::c : local[0] == 'v' ? element::v : local[0] == 't' ? element::t : element::other;
    case 2: return same_text(local, "is") ? element::is : element::other;
    case 3: return same_text(local, "row") ? element::row : same_text(local, "rPh") ? element::phonetic : element::other;
    case 9: return same_text(local, "dimension") ? element::dimension : element::other;
    default: return element::other;
    }
}

std::string_view local_of(std::string_view name)
{
    for (size_t i = name.size(); i > 0; --i)
        if (name[i - 1] == ':')
            return name.substr(i);
    return name;
}

// The attributes a cell, a row or the dimension has for us, by the slots
// below; a missing one has no data.
enum slot : uint8_t { slot_r, slot_t, slot_s, slot_ref, slot_count };
using cell_attributes = std::array<std::string_view, slot_count>;

// The slot of an attribute the cells use, or slot_count for one they do not.
slot slot_of(element e, std::string_view attribute)
{
    const std::string_view local = local_of(attribute);
    if (e == element::c && local.size() == 1)
        return local[0] == 'r' ? slot_r : local[0] == 't' ? slot_t : local[0] == 's' ? slot_s : slot_count;
    if (e == element::row && same_text(local, "r"))
        return slot_r;
    if (e == element::dimension && same_text(local, "ref"))
        return slot_ref;
    return slot_count;
}

// The cells of one worksheet as the scanner meets them.
class sheet_cells {
public:
    sheet_cells(const sheet_context& context, table_builder& out) : context(context), out(out) {}

    void start(element e, const cell_attributes& a);
    void end(element e);
    void text(std::string_view t)
    {
        if (value.size() + t.size() > text_pool::max_length)
            text_pool::refuse_long(cell_name(cell_row, col));
        value.append(t);
    }
    // Character data is kept only inside a value or an inline string's text:
    // most of a sheet's text is indentation nobody reads.
    bool capture = false;
    // The row the last row element began, UINT32_MAX before the first.
    uint32_t current_row() const { return row; }
    // Guesses the sheet's rows from the bytes the rows so far took of the
    // part's claimed size.
    void guess_rows(uint64_t bytes_read, uint64_t bytes_claimed);

private:
    void start_cell(const cell_attributes& a);
    void end_cell();
    // The sheet's own idea of its size ("A1:J1000"), a hint only.
    void expect_size(std::string_view ref);

    const sheet_context& context;
    table_builder& out;
    uint32_t row = UINT32_MAX, cell_row = 0, col = 0, next_col = 0, style = 0;
    cell_type type = cell_type::number;
    std::string value;
    bool has_value = false, inline_text = false;
    int phonetic = 0;
};

void sheet_cells::start(element e, const cell_attributes& a)
{
    switch (e) {
    case element::c:
        start_cell(a);
        break;
    case element::v:
        value.clear();
        capture = true;
        break;
    case element::row:
        // A row without its number is the one after the row before it.
        row = a[slot_r].data() != nullptr ? parse_index(a[slot_r], "row number") - 1 : row + 1;
        if (row >= table_builder::max_rows)
            throw format_fault("bad row number");
        next_col = 0;
        break;
    case element::is:
        value.clear();
        inline_text = true;
        break;
    case element::dimension:
        expect_size(a[slot_ref]);
        break;
    case element::phonetic:
        ++phonetic;
        break;
    case element::t:
        capture = capture || (inline_text && phonetic == 0);
        break;
    case element::other:
        break;
    }
}

void sheet_cells::end(element e)
{
    switch (e) {
    case element::v:
    case element::t:
        capture = false;
        has_value = has_value || e == element::v || inline_text;
        break;
    case element::c:
        end_cell();
        break;
    case element::phonetic:
        --phonetic;
        break;
    case element::is:
        inline_text = false;
        break;
    default:
        break;
    }
}

void sheet_cells::expect_size(std::string_view ref)
{
    uint32_t rows, cols;
    const size_t colon = ref.find(':');
    if (read_reference(ref.substr(colon == ref.npos ? 0 : colon + 1), rows, cols))
        out.expect(rows + 1, cols + 1);
}

// Rows differ in length: the guess errs on the large side, where a wrong
// guess costs address space, not memory; a low one costs no more than none.
void sheet_cells::guess_rows(uint64_t bytes_read, uint64_t bytes_claimed)
{
    if (bytes_read == 0 || bytes_claimed <= bytes_read)
        return;
    const double rows = (double(row) + 1) * double(bytes_claimed) / double(bytes_read) * 1.1;
    out.guess_rows(static_cast<uint32_t>(std::min(rows, double(table_builder::max_rows))));
}

void sheet_cells::start_cell(const cell_attributes& a)
{
    const std::string_view r = a[slot_r], s = a[slot_s];
    if (r.data() == nullptr)
        cell_row = row, col = next_col;
    else if (!read_reference(r, cell_row, col))
        throw format_fault("bad cell reference '" + std::string(r.substr(0, 20)) + "'");
    // Cells go where their references say, in any order: the table keeps
    // the later of two values at one place.
    if (col >= table_builder::max_columns || cell_row >= table_builder::max_rows)
        throw format_fault("cell beyond the last column");
    next_col = col + 1;
    type = type_of(a[slot_t]);
    style = s.data() != nullptr ? parse_index(s, "style index") : 0;
    has_value = false;
    value.clear();
}

void sheet_cells::end_cell()
{
    if (!has_value || value.empty())
        return;  // an empty <v/> some writers leave for a formula without result
    switch (type) {
    case cell_type::number: {
        const double v = parse_number(value);
        const cell_kind kind = style < context.styles.size() ? context.styles[style] : cell_kind::number;
        out.add_number(cell_row, col, v, kind);
        break;
    }
    case cell_type::shared:
        out.add_shared(cell_row, col, parse_index(value, "shared string index"));
        break;
    case cell_type::text:
        decode_xml_escapes(value);
        out.add_text(cell_row, col, std::string_view(value));
        break;
    case cell_type::boolean:
        out.add_boolean(cell_row, col, value == "1" || value == "true");
        break;
    case cell_type::date: {
        double ole;
        if (!parse_iso_date(value, ole))
            throw format_fault("bad date '" + value.substr(0, 40) + "'");
        out.add_number(cell_row, col, ole, cell_kind::iso_date);
        break;
    }
    case cell_type::error:
        out.add_error(cell_row, col);
        break;
    }
}

// The scanner: the part's bytes pass through one buffer, read in place.
class sheet_scanner {
public:
    sheet_scanner(zip_package::part part, sheet_cells& cells)
        : claimed(part.claimed_size()), in(std::move(part)), cells(cells),
          buf(std::make_unique_for_overwrite<char[]>(initial_size)) {}
    void run();

private:
    static constexpr size_t initial_size = size_t(256) << 10;
    // A sheet that does not say its size has it guessed after this many rows,
    // so that its columns get their room once instead of growing again and
    // again (each time copied and their memory touched anew).
    static constexpr uint32_t rows_before_guess = 1024;

    bool fill();
    [[noreturn]] void fail(const std::string& what) const;
    void start_of_document();
    void text_until(size_t stop);
    void keep_text(std::string_view raw, bool entities);
    void check_entities(std::string_view raw) const;
    std::string_view attribute_value(std::string_view raw, bool references, std::string& decoded) const;
    size_t find(size_t from, std::string_view terminator) const;
    bool markup();
    bool start_tag();
    bool end_tag();
    void special(size_t stop);
    void declaration(std::string_view body) const;

    uint64_t claimed;  // the part's inflated size as the package claims it
    bool guessed = false;
    read_ahead in;
    sheet_cells& cells;
    std::unique_ptr<char[]> buf;
    size_t size = initial_size, pos = 0, end = 0;
    bool at_eof = false;
    size_t dropped = 0;             // bytes of the part read and dropped from the buffer
    std::vector<std::string> open;  // names of the open elements; depth of them in use
    size_t depth = 0;
    bool root_seen = false;
    std::string decoded;            // kept text with its references undone
    std::string attribute_text[slot_count];  // values with references undone, by slot
};

} // namespace

// Worksheets come as one long line: the byte says where.
void sheet_scanner::fail(const std::string& what) const
{
    throw format_fault("malformed XML: " + what + " at byte " + std::to_string(dropped + pos));
}

// Drops what has been read, makes room (a token may need a larger buffer)
// and reads more. False when nothing more came.
bool sheet_scanner::fill()
{
    dropped += read_ahead::drop_read(buf.get(), pos, end);
    if (end == size) {
        if (size >= max_buffer)
            fail("a token longer than " + std::to_string(max_buffer >> 20) + " MiB");
        auto larger = std::make_unique_for_overwrite<char[]>(size * 2);
        std::memcpy(larger.get(), buf.get(), end);
        buf = std::move(larger);
        size *= 2;
    }
    if (at_eof)
        return false;
    return in.read_more(buf.get(), size, end, at_eof);
}

void sheet_scanner::start_of_document()
{
    while (end < 4 && fill()) {
    }
    const std::string_view head(buf.get(), end);
    if (head.starts_with("\xEF\xBB\xBF"))
        pos = 3;
    else if (head.starts_with("\xFE\xFF") || head.starts_with("\xFF\xFE") || head.starts_with(std::string_view("<\0", 2)) ||
             head.starts_with(std::string_view("\0<", 2)))
        throw format_fault("a worksheet in UTF-16; only UTF-8 is read");
}

void sheet_scanner::run()
{
    start_of_document();
    while (true) {
        const char* lt = find_char(buf.get() + pos, buf.get() + end, '<');
        if (lt == nullptr) {
            if (at_eof) {
                text_until(end);
                break;
            }
            // keep back what may be an unfinished reference, character or CR LF
            size_t cut = std::max(pos, end > 16 ? end - 16 : 0);
            while (cut > pos && (static_cast<unsigned char>(buf[cut]) & 0xC0) == 0x80)
                --cut;
            const std::string_view before(buf.get() + pos, cut - pos);
            const size_t amp = before.rfind('&');
            if (amp != before.npos && before.size() - amp <= 12 && before.find(';', amp) == before.npos)
                cut = pos + amp;
            if (cut > pos && buf[cut - 1] == '\r')
                --cut;
            text_until(cut);
            fill();
            continue;
        }
        text_until(size_t(lt - buf.get()));
        if (!markup() && !fill())
            fail("unclosed token");
    }
    if (!root_seen)
        fail("no element found");
    if (depth > 0)
        fail("unclosed token");
}

// The text from pos to stop: kept when the cells capture it, else only
// checked as XML.
void sheet_scanner::text_until(size_t stop)
{
    const std::string_view raw(buf.get() + pos, stop - pos);
    if (raw.empty())
        return;
    if (depth == 0) {
        if (!all_space(raw.data(), raw.data() + raw.size()))
            fail(root_seen ? "junk after document element" : "syntax error");
    } else if (cells.capture) {
        keep_text(raw, true);
    } else {
        check_entities(raw);
    }
    pos = stop;
}

void sheet_scanner::check_entities(std::string_view raw) const
{
    std::string scratch;
    for (size_t at = raw.find('&'); at != raw.npos;) {
        bool ok = false;
        at = raw.find('&', reference(raw, at, scratch, ok));
        if (!ok)
            fail("undefined entity");
    }
}

// Hands kept text to the cells: as it stands when it is plain ASCII (cell
// values nearly always are), else checked and with references undone and
// line ends made LF, as XML reads them.
void sheet_scanner::keep_text(std::string_view raw, bool entities)
{
    if (plain(raw)) {
        cells.text(raw);
        return;
    }
    decoded.clear();
    const auto* s = reinterpret_cast<const unsigned char*>(raw.data());
    for (size_t i = 0; i < raw.size();) {
        if (raw[i] == '&' && entities) {
            bool ok = false;
            i = reference(raw, i, decoded, ok);
            if (!ok)
                fail("undefined entity");
        } else if (raw[i] == '\r') {
            decoded += '\n';
            i += i + 1 < raw.size() && raw[i + 1] == '\n' ? 2 : 1;
        } else {
            const size_t n = xml_char_length(s + i, raw.size() - i);
            if (n == 0)
                fail("not well-formed (invalid token)");
            decoded.append(raw.data() + i, n);
            i += n;
        }
    }
    cells.text(decoded);
}

size_t sheet_scanner::find(size_t from, std::string_view terminator) const
{
    const size_t at = std::string_view(buf.get() + from, end - from).find(terminator);
    return at == std::string_view::npos ? at : from + at;
}

// At a '<'. False when the token does not end within the buffer yet.
bool sheet_scanner::markup()
{
    if (end - pos < 2)
        return false;
    const char next = buf[pos + 1];
    if (next == '/')
        return end_tag();
    if (next != '?' && next != '!')
        return start_tag();
    const std::string_view head(buf.get() + pos, end - pos);
    if (head.size() < 9 && !at_eof)
        return false;
    if (head.starts_with("<!DOCTYPE"))
        throw format_fault("XML with a document type");
    if (next == '!' && !head.starts_with("<!--") && !head.starts_with("<![CDATA["))
        fail("syntax error");
    const size_t stop = find(pos + 2, next == '?' ? "?>" : head.starts_with("<!--") ? "-->" : "]]>");
    if (stop == std::string_view::npos)
        return false;
    special(stop);
    return true;
}

// A processing instruction, comment or CDATA section ending at stop.
void sheet_scanner::special(size_t stop)
{
    const std::string_view token(buf.get() + pos, stop - pos);
    const bool instruction = token.starts_with("<?");
    if (instruction) {
        declaration(token.substr(2));
    } else if (token.starts_with("<![CDATA[")) {
        if (depth == 0)
            fail("syntax error");
        if (cells.capture)
            keep_text(token.substr(9), false);
    }
    pos = stop + (instruction ? 2 : 3);
}

// The XML declaration may name the encoding; only UTF-8 (and ASCII, a part
// of it) is read.
void sheet_scanner::declaration(std::string_view body) const
{
    if (!body.starts_with("xml") || body.size() < 4 || !is_space(body[3]))
        return;
    const size_t at = body.find("encoding");
    if (at == body.npos)
        return;
    const size_t open_quote = body.find_first_of("\"'", at);
    const size_t close_quote = open_quote == body.npos ? body.npos : body.find(body[open_quote], open_quote + 1);
    if (close_quote == body.npos)
        fail("syntax error");
    std::string name(body.substr(open_quote + 1, close_quote - open_quote - 1));
    for (char& c : name)
        c = c >= 'a' && c <= 'z' ? char(c - 32) : c;
    if (name != "UTF-8" && name != "US-ASCII")
        throw format_fault("a worksheet in " + name + "; only UTF-8 is read");
}

bool sheet_scanner::end_tag()
{
    const char* gt = find_char(buf.get() + pos + 2, buf.get() + end, '>');
    if (gt == nullptr)
        return false;
    size_t name_end = pos + 2;
    while (buf.get() + name_end < gt && !is_space(buf[name_end]))
        ++name_end;
    const std::string_view name(buf.get() + pos + 2, name_end - pos - 2);
    if (!all_space(buf.get() + name_end, gt) || depth == 0 || !same_text(open[depth - 1], name))
        fail("mismatched tag");
    --depth;
    pos = size_t(gt - buf.get()) + 1;
    cells.end(element_of(local_of(name)));
    return true;
}

// An attribute's value with its references undone, when it has any.
std::string_view sheet_scanner::attribute_value(std::string_view raw, bool references, std::string& out) const
{
    if (!references)
        return raw;
    out.clear();
    for (size_t k = 0; k < raw.size();) {
        bool ok = true;
        if (raw[k] == '&')
            k = reference(raw, k, out, ok);
        else
            out += raw[k++];
        if (!ok)
            fail("undefined entity");
    }
    return out;
}

// The tag is read without touching the buffer: when the buffer cuts it, it
// is read again after the next fill.
bool sheet_scanner::start_tag()
{
    const char* b = buf.get();
    size_t i = pos + 1;
    while (i < end && !is_space(b[i]) && b[i] != '>' && b[i] != '/')
        ++i;
    if (i == end)
        return false;
    const std::string_view name(b + pos + 1, i - pos - 1);
    if (name.empty())
        fail("not well-formed (invalid token)");
    const element e = element_of(local_of(name));
    cell_attributes a;
    bool empty = false;
    while (true) {
        const size_t gap = i;
        while (i < end && is_space(b[i]))
            ++i;
        if (i == end || (b[i] == '/' && i + 1 == end))
            return false;
        if (b[i] == '>')
            break;
        if (b[i] == '/') {
            if (b[i + 1] != '>')
                fail("not well-formed (invalid token)");
            empty = true;
            ++i;
            break;
        }
        const size_t attribute_name = i;
        while (i < end && b[i] != '=' && !is_space(b[i]) && b[i] != '>' && b[i] != '/')
            ++i;
        const std::string_view attribute(b + attribute_name, i - attribute_name);
        while (i < end && is_space(b[i]))
            ++i;
        if (i + 1 >= end)
            return false;
        if (gap == attribute_name || attribute.empty() || b[i] != '=')
            fail("not well-formed (invalid token)");
        ++i;
        while (i < end && is_space(b[i]))
            ++i;
        if (i == end)
            return false;
        const char quote = b[i];
        if (quote != '"' && quote != '\'')
            fail("not well-formed (invalid token)");
        const size_t value_start = ++i;
        bool references = false;
        for (; i < end && b[i] != quote; ++i) {
            if (b[i] == '<')
                fail("not well-formed (invalid token)");
            references = references || b[i] == '&';
        }
        if (i == end)
            return false;
        const std::string_view raw(b + value_start, i - value_start);
        ++i;
        const slot at = e == element::other ? slot_count : slot_of(e, attribute);
        if (at != slot_count)
            a[at] = attribute_value(raw, references, attribute_text[at]);
        else if (references)
            check_entities(raw);
    }
    if (depth == 0 && root_seen)
        fail("junk after document element");
    root_seen = true;
    pos = i + 1;
    if (!empty) {
        if (open.size() == depth)
            open.emplace_back();
        if (!same_text(open[depth], name))  // the same element comes back at the same depth
            open[depth].assign(name);
        ++depth;
    }
    cells.start(e, a);
    if (empty)
        cells.end(e);
    if (e == element::row && !guessed && cells.current_row() + 1 >= rows_before_guess) {
        guessed = true;
        cells.guess_rows(dropped + pos, claimed);
    }
    return true;
}

void read_sheet(const zip_package& package, const std::string& part, const sheet_context& context, table_builder& out)
{
    try {
        sheet_cells cells(context, out);
        sheet_scanner(package.open(part), cells).run();
    } catch (const format_fault& e) {
        throw format_fault(part + ": " + e.what());
    }
}

} // namespace platform::dao
