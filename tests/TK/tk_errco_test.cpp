#include "TK/tk_errco.hpp"
#include "TK/tk_excep.hpp"

#include <gtest/gtest.h>

namespace {
const tk_error_row first_table[] = {
    {0x400000 + 1045, "Access denied: check the user name and password."},
    {0x10000 + 3024, "Could not find file."},
    {0x10000 + 3024, "A second text for the same code."},
};
const tk_error_row second_table[] = {
    {0x400000 + 1045, "Another text for 1045."},
    {0x400000 + 2003, "Cannot connect to the server."},
};
} // namespace

TEST(TkErrorConverter, FirstTableAndFirstRowWin)
{
    tk_error_converter converter(3, first_table);
    converter.load_map(2, second_table);
    EXPECT_EQ(converter.convert(0x400000 + 1045), "Access denied: check the user name and password.");
    EXPECT_EQ(converter.convert(0x10000 + 3024), "Could not find file.");
    EXPECT_EQ(converter.convert(0x400000 + 2003), "Cannot connect to the server.");
    EXPECT_EQ(converter.convert(0x1234), "");
}

TEST(TkErrorConverter, NullTableIsAnInternalErrorEvenWhenEmpty)
{
    tk_error_converter converter(0, first_table);
    EXPECT_EQ(converter.convert(0x400000 + 1045), "");
    EXPECT_THROW(converter.load_map(0, nullptr), tk_mail_assertion);
    EXPECT_THROW(tk_error_converter(1, nullptr), tk_mail_assertion);
}
