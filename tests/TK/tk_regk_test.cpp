#include "TK/tk_excep.hpp"
#include "TK/tk_regk.hpp"
#include "TK/tk_seria.hpp"
#include "child.hpp"
#include "config_home.hpp"

#include <gtest/gtest.h>

namespace {

const char key_path[] = "Software\\Brenvault\\Tessaline";

// Every kind of setting, as an owner of a settings list keeps them.
struct settings : tk_serializer {
    settings() : tk_serializer(key_path) {}
    uint32_t open() { return key.create(tk_hkey_current_user, path.c_str(), nullptr, 0, tk_key_all_access); }
    bool serialize_all(bool store)
    {
        bool ok = serialize("refine types", flag, store);
        ok = serialize("mode", mode, store) && ok;
        ok = serialize("host", host, store) && ok;
        ok = serialize(L"src", src, store) && ok;
        return ok;
    }
    tk_reg_key& raw() { return key; }

    bool flag = false;
    uint32_t mode = 1;
    std::string host = "localhost";
    std::wstring src = L"default.xls";
};

} // namespace

TEST(TkSerializer, EveryKindRoundTripsAcrossProcesses)
{
    config_home home;
    const int child = run_in_child([] {
        settings s;
        s.flag = true;
        s.mode = 0xFFFFFFF0;
        s.host = "db=1\nsecond line";
        s.src = L"/data/caf\u00e9 \u20ac.xls";
        return s.open() == 0 && s.serialize_all(true) ? 0 : 1;
    });
    ASSERT_EQ(child, 0);

    settings s;
    ASSERT_EQ(s.open(), 0u);
    EXPECT_TRUE(s.serialize_all(false));
    EXPECT_TRUE(s.flag);
    EXPECT_EQ(s.mode, 0xFFFFFFF0);
    EXPECT_EQ(s.host, "db=1\nsecond line");
    EXPECT_EQ(s.src, L"/data/caf\u00e9 \u20ac.xls");
}

TEST(TkSerializer, MissingValuesKeepTheirDefaultsAndTheOthersLoad)
{
    config_home home;
    settings s;
    ASSERT_EQ(s.open(), 0u);
    ASSERT_EQ(s.raw().set_value(5u, "mode"), 0u);
    EXPECT_FALSE(s.serialize_all(false));
    EXPECT_FALSE(s.flag);
    EXPECT_EQ(s.mode, 5u);
    EXPECT_EQ(s.host, "localhost");
    EXPECT_EQ(s.src, L"default.xls");
}

TEST(TkSerializer, BoolsAndEmptyTexts)
{
    config_home home;
    settings s;
    ASSERT_EQ(s.open(), 0u);
    ASSERT_EQ(s.raw().set_value(7u, "refine types"), 0u);
    ASSERT_TRUE(s.serialize("refine types", s.flag, false));
    EXPECT_TRUE(s.flag);
    ASSERT_TRUE(s.serialize("refine types", s.flag, true));
    uint32_t stored = 0;
    ASSERT_EQ(s.raw().get_value(stored, "refine types"), 0u);
    EXPECT_EQ(stored, 1u);

    ASSERT_EQ(s.raw().set_value("", "host"), 0u);
    ASSERT_EQ(s.raw().set_value(L"", L"src"), 0u);
    EXPECT_TRUE(s.serialize("host", s.host, false));
    EXPECT_EQ(s.host, "");
    EXPECT_TRUE(s.serialize(L"src", s.src, false));
    EXPECT_EQ(s.src, L"");
}

TEST(TkSerializer, NothingWorksWithoutAnOpenKey)
{
    config_home home;
    settings s;
    bool flag = true;
    uint32_t number = 1;
    std::string text = "t";
    std::wstring wide = L"w";
    for (bool store : {false, true}) {
        EXPECT_FALSE(s.serialize("b", flag, store));
        EXPECT_FALSE(s.serialize("n", number, store));
        EXPECT_FALSE(s.serialize("t", text, store));
        EXPECT_FALSE(s.serialize(L"w", wide, store));
    }
}

TEST(TkRegKey, ANumberIsReadOnlyFromAStoredNumber)
{
    config_home home;
    tk_reg_key key;
    ASSERT_EQ(key.create(tk_hkey_current_user, key_path), 0u);
    ASSERT_EQ(key.set_value("ab", "short text"), 0u);
    ASSERT_EQ(key.set_value("a longer text", "long text"), 0u);
    uint32_t value = 42;
    EXPECT_NE(key.get_value(value, "short text"), 0u);
    EXPECT_NE(key.get_value(value, "long text"), 0u);
    EXPECT_EQ(key.get_value(value, "missing"), platform::reg_not_found);
    EXPECT_EQ(value, 42u);
}

TEST(TkRegKey, CreateTwiceKeepsOneKeyAndMisuseIsInternalError)
{
    config_home home;
    tk_reg_key key;
    EXPECT_THROW(key.set_value(1u, "x"), tk_mail_assertion);
    EXPECT_THROW(key.create(0, key_path), tk_mail_assertion);
    ASSERT_EQ(key.create(tk_hkey_current_user, key_path), 0u);
    ASSERT_EQ(key.set_value(1u, "x"), 0u);
    ASSERT_EQ(key.create(tk_hkey_current_user, key_path), 0u);
    uint32_t value = 0;
    EXPECT_EQ(key.get_value(value, "x"), 0u);
    EXPECT_EQ(value, 1u);
    // A failed create keeps the key held so far.
    EXPECT_NE(key.create(0x80000002, key_path), 0u);
    EXPECT_EQ(key.get_value(value, "x"), 0u);

    uint32_t size = 0;
    EXPECT_THROW(key.get_value(value, nullptr), tk_mail_assertion);
    EXPECT_THROW(key.get_value(static_cast<char*>(nullptr), "x", nullptr), tk_mail_assertion);
    EXPECT_THROW(key.get_value(static_cast<char*>(nullptr), nullptr, &size), tk_mail_assertion);
    EXPECT_THROW(key.get_value(static_cast<wchar_t*>(nullptr), L"x", nullptr), tk_mail_assertion);
    EXPECT_THROW(key.set_value(static_cast<const char*>(nullptr), "x"), tk_mail_assertion);
    EXPECT_THROW(key.set_value(static_cast<const wchar_t*>(nullptr), L"x"), tk_mail_assertion);
    EXPECT_EQ(key.close(), 0u);
    EXPECT_EQ(key.close(), 0u);
}
