#include "platform/dao/pl_xlsx.hpp"

#include <gtest/gtest.h>

using namespace platform::dao;

TEST(Xlsx, EscapesInStrings)
{
    struct { const char* in; const char* out; } cases[] = {
        {"plain", "plain"},
        {"a_x000D_b", "a\rb"},
        {"_x005F_x0041_", "_x0041_"},            // an escaped underscore keeps the rest literal
        {"_xD83D__xDE00_", "\xF0\x9F\x98\x80"},   // a surrogate pair
        {"_xD83D_x", "\xEF\xBF\xBDx"},            // a lone surrogate
        {"_x00E9", "_x00E9"},                     // not closed
        {"_xZZZZ_", "_xZZZZ_"},
    };
    for (const auto& c : cases) {
        std::string s = c.in;
        decode_xml_escapes(s);
        EXPECT_EQ(s, c.out) << c.in;
    }
}

TEST(Xlsx, RelationshipTargets)
{
    struct { const char* base; const char* target; const char* out; } cases[] = {
        {"xl/", "worksheets/sheet1.xml", "xl/worksheets/sheet1.xml"},
        {"xl/", "/xl/worksheets/sheet1.xml", "xl/worksheets/sheet1.xml"},
        {"book/", "../sheets/one.xml", "sheets/one.xml"},
        {"", "xl/workbook.xml", "xl/workbook.xml"},
        {"xl/", "./sub/../styles.xml", "xl/styles.xml"},
        {"xl/", "../../../x.xml", "x.xml"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(resolve_target(c.base, c.target), c.out) << c.base << c.target;
}
