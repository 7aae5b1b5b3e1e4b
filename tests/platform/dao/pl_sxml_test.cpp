// The worksheet scanner reads what XML allows in a worksheet and refuses
// what the general parser refuses, with error 3274 naming the part.
#include "platform/dao/pl_wbook.hpp"

#include "dao_show.hpp"
#include "xlsx_make.hpp"

#include <gtest/gtest.h>

using namespace platform::dao;

namespace {

std::string sheet_with(const std::string& inside_row) { return xlsx_sheet("<row r=\"1\">" + inside_row + "</row>"); }

std::string inline_text(const std::string& raw) { return "<c r=\"A1\" t=\"inlineStr\"><is><t>" + raw + "</t></is></c>"; }

// The first row, or "error: <description>".
std::string first_row(const std::string& sheet_xml)
{
    try {
        auto book = workbook::open_bytes(xlsx_package(sheet_xml), "scan.xlsx", false);
        const sheet_table& t = book->sheet(0);
        return t.row_count() == 0 ? "" : show_row(t, 0);
    } catch (const read_error& e) {
        EXPECT_EQ(e.number(), read_error::bad_format);
        return std::string("error: ") + e.description();
    }
}

} // namespace

TEST(SheetScanner, ReadsWhatXmlAllows)
{
    const std::string ns = std::string("xmlns:x=\"") + xlsx_main_ns + "\"";
    struct scan_case {
        std::string what, sheet, row;
    } cases[] = {
        {"references", sheet_with(inline_text("a&lt;b&gt;&amp;&quot;&apos;&#65;&#x42;&#x1F600;")),
         "'a<b>&\"'AB\xF0\x9F\x98\x80'"},
        {"CDATA kept as it stands", sheet_with(inline_text("<![CDATA[<x>&amp;]]>")), "'<x>&amp;'"},
        {"line ends made LF", sheet_with(inline_text("a\r\nb\rc")), "'a\nb\nc'"},
        {"UTF-8 texts", sheet_with(inline_text("caf\xC3\xA9 \xE6\x97\xA5")), "'caf\xC3\xA9 \xE6\x97\xA5'"},
        {"declaration, BOM, comments and instructions",
         "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?><!-- a -->" +
             sheet_with("<!-- <c r=\"A1\"><v>9</v></c> --><?pi x?><c r=\"A1\"><v>1</v></c>") + "<!-- end -->\n",
         "1"},
        {"prefixes, single quotes, blanks around =",
         "<x:worksheet " + ns + "><x:sheetData><x:row r = '1' ><x:c r = 'B1' t='n' ><x:v>2</x:v></x:c></x:row>"
                                "</x:sheetData></x:worksheet>",
         "2"},
        {"references in attributes", sheet_with("<c r=\"A&#49;\" t=\"&#115;tr\"><v>x</v></c>"), "'x'"},
        {"empty elements", sheet_with("<c r=\"A1\"/><c r=\"B1\"><v/></c><c r=\"C1\"><v>3</v></c>"), "3"},
        {"phonetic text left out", sheet_with("<c r=\"A1\" t=\"inlineStr\"><is><r><t>ab</t></r><rPh><t>X</t></rPh>"
                                              "<r><t>c</t></r></is></c>"),
         "'abc'"},
    };
    for (const scan_case& c : cases)
        EXPECT_EQ(first_row(c.sheet), c.row) << c.what;
}

TEST(SheetScanner, RefusesWhatXmlRefuses)
{
    struct bad_case {
        std::string what, sheet, message;
    } cases[] = {
        {"a document type", "<!DOCTYPE worksheet [<!ENTITY a \"aaaa\">]>" + sheet_with("<c r=\"A1\"><v>&a;</v></c>"),
         "XML with a document type"},
        {"an entity of its own", sheet_with(inline_text("&a;")), "undefined entity"},
        {"an entity in text not kept", sheet_with("<c r=\"A1\"><f>&a;</f><v>1</v></c>"), "undefined entity"},
        {"an entity in an attribute", sheet_with("<c r=\"A1\" x=\"&a;\"><v>1</v></c>"), "undefined entity"},
        {"character zero", sheet_with(inline_text("&#0;")), "undefined entity"},
        {"tags that do not nest", sheet_with("<c r=\"A1\"><v>1</c></v>"), "mismatched tag"},
        {"a cut document", sheet_with("<c r=\"A1\"><v>1</v></c>").substr(0, 80), "unclosed token"},
        {"no element", "   ", "no element found"},
        {"a second root", sheet_with("") + "<worksheet/>", "junk after document element"},
        {"text after the root", sheet_with("") + "x", "junk after document element"},
        {"bytes that are no UTF-8", sheet_with(inline_text("a\xFF")), "not well-formed"},
        {"a control character", sheet_with(inline_text("a\x01")), "not well-formed"},
        {"'<' in an attribute", sheet_with("<c r=\"A<1\"><v>1</v></c>"), "not well-formed"},
        {"attributes without a blank", sheet_with("<c r=\"A1\"t=\"n\"><v>1</v></c>"), "not well-formed"},
        {"another encoding", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + sheet_with(""),
         "a worksheet in ISO-8859-1; only UTF-8 is read"},
        {"UTF-16", std::string("\xFF\xFE<\0w\0", 6), "a worksheet in UTF-16; only UTF-8 is read"},
    };
    for (const bad_case& c : cases) {
        const std::string got = first_row(c.sheet);
        EXPECT_NE(got.find("'scan.xlsx': worksheet 'S': xl/worksheets/sheet1.xml: "), std::string::npos) << c.what << ": " << got;
        EXPECT_NE(got.find(c.message), std::string::npos) << c.what << ": " << got;
    }
}

// Texts far longer than the scanner's buffer, with references and
// multi-byte characters wherever the buffer happens to end, read whole.
TEST(SheetScanner, TextsAcrossBufferEnds)
{
    std::string raw, expected;
    for (int i = 0; raw.size() < (size_t(3) << 20); ++i) {
        raw += i % 3 == 0 ? "\xC3\xA9&amp;" : i % 3 == 1 ? "ab&#x41;\r\n" : "\xF0\x9F\x98\x80z";
        expected += i % 3 == 0 ? "\xC3\xA9&" : i % 3 == 1 ? "abA\n" : "\xF0\x9F\x98\x80z";
    }
    const std::string cells = inline_text(raw) + "<c r=\"B1\"><v>" + std::string(1 << 20, ' ') + "7</v></c>";
    auto book = workbook::open_bytes(xlsx_package(sheet_with(cells)), "long.xlsx", false);
    const sheet_table& t = book->sheet(0);
    EXPECT_EQ(t.get(0, 0).text, expected);
    EXPECT_EQ(show(t.get(1, 0)), "7");
}

namespace {

// A sheet of 200,000 rows of numbers no compressor shrinks much: a few
// megabytes once deflated, so it is inflated ahead on a thread of its own.
std::string large_sheet(const std::string& last_value)
{
    std::string rows;
    uint64_t x = 88172645463325252u;
    for (int r = 1; r <= 200000; ++r) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        const std::string value = r == 200000 ? last_value : std::to_string(x % 1000000000000u);
        rows += "<row r=\"" + std::to_string(r) + "\"><c r=\"A" + std::to_string(r) + "\"><v>" + value + "</v></c></row>";
    }
    return xlsx_sheet(rows);
}

} // namespace

TEST(SheetScanner, LargeSheetsReadAheadAndFailAsSmallOnes)
{
    std::string bytes = xlsx_package(large_sheet("42"));
    ASSERT_GT(bytes.size(), size_t(2) << 20);
    {
        auto book = workbook::open_bytes(bytes, "large.xlsx", false);
        const sheet_table& t = book->sheet(0);
        EXPECT_EQ(t.row_count(), 200000u);
        EXPECT_EQ(show(t.get(0, 199999)), "42");
    }
    auto failure = [](const std::string& package) {
        try {
            workbook::open_bytes(package, "large.xlsx", false)->sheet(0);
        } catch (const read_error& e) {
            EXPECT_EQ(e.number(), read_error::bad_format);
            return std::string(e.description());
        }
        return std::string("no failure");
    };
    EXPECT_NE(failure(xlsx_package(large_sheet("x"))).find("bad number 'x'"), std::string::npos);
    for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 64; ++i)
        bytes[i] = char(~bytes[i]);  // damaged in the middle of the sheet's compressed bytes
    EXPECT_NE(failure(bytes).find("'large.xlsx': worksheet 'S': xl/worksheets/sheet1.xml: "), std::string::npos);
}
