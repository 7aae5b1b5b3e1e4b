#include "platform/dao/pl_sxml.hpp"

#include "platform/dao/pl_pool.hpp"
#include "platform/dao/pl_rderr.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace platform::dao {

namespace {

// A token may be a whole cell text in a CDATA section, and a little more.
constexpr size_t max_buffer = size_t(64) << 20;

bool is_space(char c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r'; }

bool xml_char(uint32_t cp)
{
    return cp == 9 || cp == 10 || cp == 13 || (cp >= 0x20 && cp <= 0xD7FF) || (cp >= 0xE000 && cp <= 0xFFFD) ||
           (cp >= 0x10000 && cp <= 0x10FFFF);
}

void put_utf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | cp >> 6);
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | cp >> 12);
        out += char(0x80 | (cp >> 6 & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | cp >> 18);
        out += char(0x80 | (cp >> 12 & 0x3F));
        out += char(0x80 | (cp >> 6 & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// The length of the UTF-8 sequence at s of a character XML allows, or 0.
size_t char_length(const unsigned char* s, size_t n)
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

bool plain(char c) { return static_cast<unsigned char>(c) >= 0x20 && c != '&' && static_cast<unsigned char>(c) < 0x80; }

} // namespace

void sheet_scanner::parse(const zip_package& package, const std::string& name)
{
    try {
        in = std::make_unique<zip_package::part>(package.open(name));
        buf = std::make_unique_for_overwrite<char[]>(initial_size);
        size = initial_size;
        run();
    } catch (const format_fault& e) {
        throw format_fault(name + ": " + e.what());
    }
}

void sheet_scanner::fail(const std::string& what) const
{
    const size_t line = lines + size_t(std::count(buf.get(), buf.get() + pos, '\n')) + 1;
    throw format_fault("malformed XML: " + what + " at line " + std::to_string(line));
}

// Drops what has been read, makes room (a token may need a larger buffer)
// and reads more. False when nothing more came.
bool sheet_scanner::fill()
{
    if (pos > 0) {
        lines += size_t(std::count(buf.get(), buf.get() + pos, '\n'));
        std::memmove(buf.get(), buf.get() + pos, end - pos);
        end -= pos;
        pos = 0;
    }
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
    const size_t n = in->read(buf.get() + end, size - end);
    at_eof = n == 0;
    end += n;
    return n > 0;
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
        const void* lt = std::memchr(buf.get() + pos, '<', end - pos);
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
        text_until(size_t(static_cast<const char*>(lt) - buf.get()));
        if (!markup() && !fill())
            fail("unclosed token");
    }
    if (!root_seen)
        fail("no element found");
    if (depth > 0)
        fail("unclosed token");
}

// The text from pos to stop: kept when the handler captures it, else only
// checked as XML.
void sheet_scanner::text_until(size_t stop)
{
    const std::string_view raw(buf.get() + pos, stop - pos);
    if (raw.empty())
        return;
    if (depth == 0) {
        if (!std::all_of(raw.begin(), raw.end(), is_space))
            fail(root_seen ? "junk after document element" : "syntax error");
    } else if (handler.capture) {
        keep_text(raw, true);
    } else {
        check_entities(raw);
    }
    pos = stop;
}

namespace {

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
    if (ok)
        put_utf8(out, cp);
    return semi + 1;
}

} // namespace

void sheet_scanner::check_entities(std::string_view raw) const
{
    std::string scratch;
    for (size_t at = raw.find('&'); at != raw.npos; at = raw.find('&', at)) {
        bool ok = false;
        at = reference(raw, at, scratch, ok);
        if (!ok)
            fail("undefined entity");
    }
}

// Hands kept text to the handler: as it stands when it is plain ASCII (cell
// values nearly always are), else checked and with references undone and
// line ends made LF, as XML reads them.
void sheet_scanner::keep_text(std::string_view raw, bool entities)
{
    if (std::all_of(raw.begin(), raw.end(), plain)) {
        handler.text(raw);
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
            const size_t n = char_length(s + i, raw.size() - i);
            if (n == 0)
                fail("not well-formed (invalid token)");
            decoded.append(raw.data() + i, n);
            i += n;
        }
    }
    handler.text(decoded);
}

size_t sheet_scanner::find(size_t from, std::string_view terminator)
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
    const std::string_view terminator = next == '?' ? "?>" : head.starts_with("<!--") ? "-->" : "]]>";
    if (head.starts_with("<!DOCTYPE"))
        throw format_fault("XML with a document type");
    if (next == '!' && !head.starts_with("<!--") && !head.starts_with("<![CDATA["))
        fail("syntax error");
    const size_t stop = find(pos + 2, terminator);
    if (stop == std::string_view::npos)
        return false;
    special(stop);
    return true;
}

// A processing instruction, comment or CDATA section ending at stop.
void sheet_scanner::special(size_t stop)
{
    const std::string_view token(buf.get() + pos, stop - pos);
    if (token.starts_with("<?")) {
        declaration(token.substr(2));
    } else if (token.starts_with("<![CDATA[")) {
        const std::string_view body = token.substr(9);
        if (depth == 0)
            fail("syntax error");
        if (handler.capture)
            keep_text(body, false);
    }
    pos = stop + 3 - (token.starts_with("<?") ? 1 : 0);
}

// The XML declaration names the encoding, if any; only UTF-8 (and ASCII,
// a part of it) is read.
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
    std::transform(name.begin(), name.end(), name.begin(), [](char c) { return char(c >= 'a' && c <= 'z' ? c - 32 : c); });
    if (name != "UTF-8" && name != "US-ASCII")
        throw format_fault("a worksheet in " + name + "; only UTF-8 is read");
}

bool sheet_scanner::end_tag()
{
    const void* gt = std::memchr(buf.get() + pos + 2, '>', end - pos - 2);
    if (gt == nullptr)
        return false;
    const size_t stop = size_t(static_cast<const char*>(gt) - buf.get());
    size_t name_end = pos + 2;
    while (name_end < stop && !is_space(buf[name_end]))
        ++name_end;
    const std::string_view name(buf.get() + pos + 2, name_end - pos - 2);
    if (!std::all_of(buf.get() + name_end, buf.get() + stop, is_space) || depth == 0 || open[depth - 1] != name)
        fail("mismatched tag");
    --depth;
    pos = stop + 1;
    handler.end(local_name(name));
    return true;
}

// Reads the tag first without touching it, so that a tag the buffer cuts
// can be read again after the next fill; then ends its names and values
// with zeros in place for the handler.
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
    marks.clear();
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
        const size_t name_end = i;
        while (i < end && is_space(b[i]))
            ++i;
        if (i + 1 >= end)
            return false;
        if (gap == attribute_name || name_end == attribute_name || b[i] != '=')
            fail("not well-formed (invalid token)");
        ++i;
        while (i < end && is_space(b[i]))
            ++i;
        if (i == end)
            return false;
        if (b[i] != '"' && b[i] != '\'')
            fail("not well-formed (invalid token)");
        const void* close = std::memchr(b + i + 1, b[i], end - i - 1);
        if (close == nullptr)
            return false;
        marks.insert(marks.end(), {attribute_name, name_end, i + 1, size_t(static_cast<const char*>(close) - b)});
        i = marks.back() + 1;
    }
    if (depth == 0 && root_seen)
        fail("junk after document element");
    attributes.clear();
    for (size_t m = 0; m < marks.size(); m += 4) {
        char* value = buf.get() + marks[m + 2];
        const std::string_view raw(value, marks[m + 3] - marks[m + 2]);
        if (raw.find('<') != raw.npos)
            fail("not well-formed (invalid token)");
        size_t length = raw.size();
        if (raw.find('&') != raw.npos) {
            decoded.clear();
            for (size_t k = 0; k < raw.size();) {
                bool ok = true;
                if (raw[k] == '&')
                    k = reference(raw, k, decoded, ok);
                else
                    decoded += raw[k++];
                if (!ok)
                    fail("undefined entity");
            }
            std::memcpy(value, decoded.data(), decoded.size());
            length = decoded.size();
        }
        buf[marks[m + 1]] = '\0';
        value[length] = '\0';
        attributes.push_back(buf.get() + marks[m]);
        attributes.push_back(value);
    }
    attributes.push_back(nullptr);
    pos = i + 1;
    const std::string_view local = local_name(name);
    root_seen = true;
    if (empty) {
        handler.start(local, attributes.data());
        handler.end(local);
        return true;
    }
    if (open.size() == depth)
        open.emplace_back();
    open[depth++].assign(name);
    handler.start(local, attributes.data());
    return true;
}

} // namespace platform::dao
