// The quick reader of plain XML against expat: where it takes a part, the
// handler must see what expat shows it; where the part holds anything it
// does not take, or is malformed, it must give up, so that expat decides.
#include "platform/dao/pl_pool.hpp"
#include "platform/dao/pl_qxml.hpp"
#include "platform/dao/pl_rderr.hpp"
#include "platform/dao/pl_wbook.hpp"

#include "dao_show.hpp"
#include "xlsx_make.hpp"

#include <gtest/gtest.h>

#include <string>

using namespace platform::dao;

namespace {

// Every event as a line; texts that come in pieces are joined, as a handler
// that appends them sees them.
class recorder : public sax_handler {
public:
    recorder() { capture = true; }
    void start(std::string_view name, const char** a) override
    {
        log += "<" + std::string(name);
        for (; *a != nullptr; a += 2)
            log += std::string(" ") + a[0] + "=[" + a[1] + "]";
        log += ">\n";
        in_text = false;
    }
    void end(std::string_view name) override
    {
        log += "</" + std::string(name) + ">\n";
        in_text = false;
    }
    void text(std::string_view t) override
    {
        if (!in_text)
            log += "text[]\n";
        log.insert(log.size() - 2, t);
        in_text = true;
    }
    std::string log;

private:
    bool in_text = false;
};

// The part as the strings table of a package.
struct part_package {
    std::string bytes;
    zip_package package;
    explicit part_package(const std::string& xml)
        : bytes(xlsx_package(xlsx_sheet(""), xml)), package(bytes.data(), bytes.size()) {}
};

const std::string part = "xl/sharedStrings.xml";

// What expat shows the handler, or its refusal.
std::string by_expat(const zip_package& package)
{
    recorder r;
    try {
        parse_part(package, part, r);
    } catch (const format_fault& e) {
        return std::string("refused: ") + e.what();
    }
    return r.log;
}

const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";
const std::string sst = std::string("<sst xmlns=\"") + xlsx_main_ns + "\" count=\"2\" uniqueCount='2'>";

} // namespace

TEST(QuickXml, TakesPlainXmlAndShowsWhatExpatShows)
{
    const char* cases[] = {
        "<si><t>plain</t></si><si><t/></si>",
        "<si><t>a&lt;b&gt;&amp;&quot;&apos;</t></si>",
        "<si><t xml:space=\"preserve\">  two\r\nlines\rand a ]] > </t></si>",
        "<si><r><rPr><b/><sz val=\"11\"/></rPr><t>rich</t></r><r><t>text</t></r><rPh sb=\"0\" eb=\"1\"><t>ph</t></rPh></si>",
        "<si><t>caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80 \x7F</t></si>",
        "<x:si xmlns:x=\"urn:x\" >\n\t<x:t >spaced</x:t ></x:si>",
    };
    for (const char* inside : cases) {
        SCOPED_TRACE(inside);
        for (const std::string& head : {declaration, std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"),
                                        std::string()}) {
            const part_package p(head + sst + inside + "</sst>\r\n");
            recorder r;
            ASSERT_TRUE(quick_parse_part(p.package, part, r));
            EXPECT_EQ(r.log, by_expat(p.package));
        }
    }
}

TEST(QuickXml, GivesUpOnWhatItDoesNotTakeAndOnMalformedXml)
{
    const std::string cases[] = {
        // XML it leaves to expat
        declaration + sst + "<!-- a comment --></sst>",
        declaration + sst + "<si><t><![CDATA[x]]></t></si></sst>",
        declaration + sst + "<?pi x?></sst>",
        "<!DOCTYPE sst>" + sst + "</sst>",
        declaration + sst + "<si><t>&#65;</t></si></sst>",
        "\xEF\xBB\xBF" + sst + "</sst>",
        "<?xml version='1.0'?>" + sst + "</sst>",
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + sst + "</sst>",
        sst + "<si a=\"&amp;\"/></sst>",
        sst + "<si a=\"x\ty\"/></sst>",
        sst + "<si a=\"\xC3\xA9\"/></sst>",
        "<sst xmlns:xml=\"urn:x\"></sst>",
        "<sst xmlns:p=\"\"></sst>",
        sst + "<si>" + std::string((size_t(1) << 20) + 10, 'x') + "</si></sst>",
        // malformed
        sst + "<si><t>x]]>y</t></si></sst>",
        sst + "<si><t>\x01</t></si></sst>",
        sst + "<si><t>\xC3</t></si></sst>",
        sst + "<si><t>\xED\xA0\x80</t></si></sst>",
        sst + "<si><t>&nbsp;</t></si></sst>",
        sst + "<si><t>a & b</t></si></sst>",
        sst + "<si></t></sst>",
        sst + "<si a=\"1\" a=\"2\"/></sst>",
        sst + "<si a=\"1\"b=\"2\"/></sst>",
        sst + "<si a=1/></sst>",
        sst + "<1si/></sst>",
        sst + "</sst><sst/>",
        sst + "</sst>junk",
        "junk" + sst + "</sst>",
        declaration + sst,
        sst + "<si><t>x</t>",
        declaration,
        "",
        " " + declaration + sst + "</sst>",
    };
    for (const std::string& xml : cases) {
        SCOPED_TRACE(xml.substr(0, 120));
        const part_package p(xml);
        recorder r;
        EXPECT_FALSE(quick_parse_part(p.package, part, r));
    }
}

// A strings table much larger than the reader's buffer, with tokens cut at
// every place by the buffer's end, reads as expat reads it.
TEST(QuickXml, LargePartsAcrossBufferEnds)
{
    std::string xml = declaration + sst;
    for (int i = 0; i < 120000; ++i)
        xml += "<si><t>Row " + std::to_string(i) + (i % 7 == 0 ? " &amp; more\r\n" : "") +
               (i % 11 == 0 ? " caf\xC3\xA9" : "") + "</t></si>" + (i % 13 == 0 ? "\n  " : "");
    xml += "</sst>";
    const part_package p(xml);
    recorder r;
    ASSERT_TRUE(quick_parse_part(p.package, part, r));
    EXPECT_EQ(r.log, by_expat(p.package));
}

// Strings the quick reader leaves to expat are read all the same, and what
// expat refuses is refused in its words.
TEST(QuickXml, WorkbookStringsReadEitherWay)
{
    const std::string sheet = xlsx_sheet("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c></row>");
    const std::string strings = "<si><t>first &amp; one</t></si><si><t>second</t></si>";
    for (const std::string& extra : {std::string(), std::string("<!-- expat's -->")}) {
        auto book = workbook::open_bytes(xlsx_package(sheet, sst + extra + strings + "</sst>"), "s.xlsx", false);
        EXPECT_EQ(show_row(book->sheet(0), 0), "'first & one'|'second'") << extra;
    }
    try {
        workbook::open_bytes(xlsx_package(sheet, sst + strings + "</sst"), "s.xlsx", false)->sheet(0);
        ADD_FAILURE() << "read";
    } catch (const read_error& e) {
        EXPECT_NE(std::string(e.description()).find("xl/sharedStrings.xml: malformed XML: unclosed token at line 1"),
                  std::string::npos)
            << e.description();
    }
}

// A pool drops what was added after a mark, texts of chunks of their own
// included, and goes on filling from the mark.
TEST(QuickXml, PoolDropsTextsAddedAfterAMark)
{
    text_pool pool;
    const text_ref kept = pool.add("kept");
    const text_pool::mark m = pool.position();
    const text_ref dropped = pool.add("dropped");
    pool.add(std::string(size_t(1) << 20, 'd'));
    pool.drop_after(m);
    EXPECT_EQ(pool.position().chunks, m.chunks);
    const text_ref again = pool.add("again");
    EXPECT_EQ(pool.get(kept), "kept");
    EXPECT_EQ(pool.get(again), "again");
    EXPECT_EQ(again >> 26, dropped >> 26);  // where the dropped text was
}

// Documents made at random from pieces, mostly plain, some at or past the
// edges of what the quick reader takes: whatever it takes, expat must take
// too and show the handler the same.
TEST(QuickXml, RandomDocumentsItTakesAreReadAsExpatReadsThem)
{
    const std::vector<std::string> names = {"si", "t", "x:si", "r", "rPh", "a-b.c", "_n"};
    const std::vector<std::string> attributes = {" a=\"1\"", " b='two words'", " xml:space=\"preserve\"",
                                                 " xmlns=\"urn:x\"", " xmlns:x=\"urn:y\"", " d=\"x>y\"", "\te = \"5\""};
    const std::vector<std::string> odd_attributes = {" xmlns:p=\"\"", " xmlns:xml=\"urn:z\"", " c=\"&amp;\"",
                                                     " a=\"again\"", "e=\"6\"", " f=\"\xC3\xA9\""};
    const std::vector<std::string> texts = {"plain", " ", "\r\n", "\r", "a&lt;b", "&amp;&quot;&apos;&gt;", "]]", "]",
                                            "caf\xC3\xA9", "\t\n", "\x7F", "\xF0\x9F\x98\x80", "x]>"};
    const std::vector<std::string> odd_texts = {"]]>", "&#65;", "&bad;", "&", "\xC3", "\xEF\xBF\xBE", "\x01",
                                                "<!--c-->", "<![CDATA[d]]>", "<?p i?>", "\xED\xA0\x80"};
    const std::vector<std::string> heads = {"", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
                                            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"};
    const std::vector<std::string> odd_heads = {"<?xml version=\"1.0\"?>", " ", "\xEF\xBB\xBF", "x"};
    uint32_t seed = 12345;
    const auto next = [&](uint32_t n) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % n;
    };
    // Mostly a plain piece, now and then an odd one.
    const auto pick = [&](const std::vector<std::string>& plain, const std::vector<std::string>& odd) {
        return next(30) == 0 ? odd[next(uint32_t(odd.size()))] : plain[next(uint32_t(plain.size()))];
    };
    int taken = 0;
    for (int doc = 0; doc < 4000; ++doc) {
        std::string xml = pick(heads, odd_heads) + "<sst>";
        std::vector<std::string> open;
        for (int step = 0; step < 12; ++step) {
            switch (next(5)) {
            case 0:
            case 1: {
                const std::string name = names[next(uint32_t(names.size()))];
                xml += "<" + name;
                for (uint32_t k = next(3); k > 0; --k)
                    xml += pick(attributes, odd_attributes);
                if (next(4) == 0) {
                    xml += "/>";
                } else {
                    xml += next(6) == 0 ? " >" : ">";
                    open.push_back(name);
                }
                break;
            }
            case 2:
            case 3:
                xml += pick(texts, odd_texts);
                break;
            default:
                if (!open.empty()) {
                    xml += "</" + open.back() + (next(8) == 0 ? "\n>" : ">");
                    open.pop_back();
                }
            }
        }
        while (!open.empty() && next(40) != 0) {
            xml += "</" + open.back() + ">";
            open.pop_back();
        }
        xml += next(40) == 0 ? "" : "</sst>";
        xml += next(4) == 0 ? "\r\n" : "";
        const part_package p(xml);
        recorder r;
        if (!quick_parse_part(p.package, part, r))
            continue;
        ++taken;
        EXPECT_EQ(r.log, by_expat(p.package)) << xml;
    }
    EXPECT_GT(taken, 1000);
}
