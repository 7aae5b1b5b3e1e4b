#include "TK/tk_excep.hpp"
#include "TK/tk_singl.hpp"
#include "platform/syserr/pl_syserr.hpp"

#include <gtest/gtest.h>

#include <optional>

TEST(TkException, MessageAndCodeByConstructor)
{
    struct { tk_exception e; std::string message; int level; } cases[] = {
        {tk_exception(std::string(), 1), "Unknown exception", 1},
        {tk_exception(std::wstring(), 0), "", 0},
        {tk_exception(2), "Unknown exception", 2},
        {tk_exception("disk full", 0), "disk full", 0},
        {tk_exception(L"caf\u00e9", 1), "caf\xC3\xA9", 1},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(c.e.what(), c.message.c_str());
        EXPECT_EQ(c.e.get_level(), c.level);
        EXPECT_EQ(c.e.get_code(), 0u);
    }
}

TEST(TkExceptionEx, AppendsTheSystemTextOfTheLastError)
{
    platform::set_last_error(2);
    tk_exception_ex e("Cannot open: ", 0);
    EXPECT_EQ(e.get_code(), 2u);
    EXPECT_EQ(e.get_level(), 0);
    EXPECT_STREQ(e.what(), "Cannot open: No such file or directory\r\n");

    platform::set_last_error(13);
    tk_exception_ex plain;
    EXPECT_EQ(plain.get_level(), 1);
    EXPECT_STREQ(plain.what(), "Permission denied\r\n");
}

TEST(TkExceptionEx, NumberWithoutSystemTextKeepsUnknownException)
{
    platform::set_last_error(99999);
    tk_exception_ex e("lost text: ", 0);
    EXPECT_EQ(e.get_code(), 99999u);
    EXPECT_STREQ(e.what(), "Unknown exception");
}

TEST(TkMailAssertion, MessageCarriesFileAndLineInHex)
{
    tk_mail_assertion e("ab", 7);
    EXPECT_STREQ(e.what(), "Internal error: \ncode=61625c37");
    EXPECT_EQ(e.get_level(), 2);
    EXPECT_EQ(e.get_code(), 0u);
    EXPECT_EQ(make_err_meggase("tk_errco.cpp", 43),
              "Internal error: \ncode=746b5f657272636f2e6370705c3433");
}

TEST(TkFinalException, PassesThroughAHandlerOfTheFamily)
{
    auto run = [] {
        try {
            throw tk_final_exception();
        } catch (const tk_exception&) {
            return false;
        }
    };
    EXPECT_THROW(run(), tk_final_exception);
}

namespace {
struct only_one : tk_singleton<only_one> {
    int id;
    explicit only_one(int i) : id(i) {}
};

std::string message_of(void (*f)())
{
    try {
        f();
    } catch (const tk_mail_assertion& e) {
        return e.what();
    }
    return "no exception";
}
} // namespace

TEST(TkSingleton, MissingInstanceIsAnInternalErrorAtItsLine)
{
    ASSERT_EQ(only_one::try_instance(), nullptr);
    const std::string header_digits = "2e2e5c544b2f746b5f73696e676c2e687070";  // ..\TK/tk_singl.hpp
    EXPECT_EQ(message_of([] { only_one::instance(); }), "Internal error: \ncode=" + header_digits + "5c3634");
    EXPECT_EQ(message_of([] { only_one::instance_ptr(); }), "Internal error: \ncode=" + header_digits + "5c3731");
}

TEST(TkSingleton, FirstInstanceStaysRegisteredUntilItGoes)
{
    std::optional<only_one> first(std::in_place, 1);
    {
        only_one second(2);
        EXPECT_EQ(only_one::instance().id, 1);
    }
    // The second one's end leaves the first one's registration alone.
    ASSERT_NE(only_one::try_instance(), nullptr);
    EXPECT_EQ(only_one::instance_ptr()->id, 1);
    first.reset();
    EXPECT_EQ(only_one::try_instance(), nullptr);
}
