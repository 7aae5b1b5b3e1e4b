#include "platform/registry/pl_reg.hpp"
#include "child.hpp"
#include "config_home.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace platform;

namespace {

const char key_path[] = "Software\\Brenvault\\Tessaline";

// An open key of the test's own store, closed at the end.
class open_key {
public:
    explicit open_key(const char* path = key_path, uint32_t* disposition = nullptr)
    {
        status = reg_create_key(hkey_current_user, path, key, disposition);
    }
    ~open_key() { reg_close_key(key); }
    reg_key key = 0;
    uint32_t status;
};

std::string read_text(reg_key key, const std::string& name)
{
    char buffer[256] = {};
    uint32_t size = sizeof buffer;
    uint32_t type = 0;
    EXPECT_EQ(reg_query_value(key, name, &type, buffer, &size), reg_ok) << name;
    EXPECT_EQ(type, reg_sz);
    EXPECT_EQ(size, std::strlen(buffer) + 1);
    return buffer;
}

uint32_t set_text(reg_key key, const std::string& name, const std::string& text)
{
    return reg_set_value(key, name, reg_sz, text.c_str(), static_cast<uint32_t>(text.size() + 1));
}

} // namespace

TEST(PlRegistry, KeyFileAndFoldersAreCreatedPrivate)
{
    config_home home;
    uint32_t disposition = 0;
    {
        open_key k(key_path, &disposition);
        ASSERT_EQ(k.status, reg_ok);
        EXPECT_EQ(disposition, reg_created_new_key);
        ASSERT_EQ(set_text(k.key, "password", "secret"), reg_ok);
    }
    const fs::path folder = home.path() / "Brenvault";
    const fs::path file = folder / "Tessaline.reg";
    ASSERT_TRUE(fs::exists(file));
    EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all);
    EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    // Write-through left nothing else behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);

    open_key again(key_path, &disposition);
    EXPECT_EQ(disposition, reg_opened_existing_key);
    EXPECT_EQ(read_text(again.key, "password"), "secret");
}

TEST(PlRegistry, TextsWithEscapedCharactersSurviveTheFile)
{
    config_home home;
    open_key k;
    const std::string names[] = {"plain", "with=equal", "new\nline", "back\\slash", " spaced ", "caf\xC3\xA9"};
    const std::string texts[] = {"", "a=b=c", "line1\r\nline2\n", "C:\\dir\\", "\\n not a newline", "\xE2\x82\xAC"};
    for (size_t i = 0; i < std::size(names); ++i)
        ASSERT_EQ(set_text(k.key, names[i], texts[i]), reg_ok);
    for (size_t i = 0; i < std::size(names); ++i)
        EXPECT_EQ(read_text(k.key, names[i]), texts[i]);
}

TEST(PlRegistry, NumbersNamesWithoutCaseAndReplacement)
{
    config_home home;
    open_key k;
    const uint32_t big = 0xFFFFFFFF;
    ASSERT_EQ(reg_set_value(k.key, "Mode", reg_dword, &big, 4), reg_ok);
    const uint32_t three = 3;
    ASSERT_EQ(reg_set_value(k.key, "MODE", reg_dword, &three, 4), reg_ok);
    uint32_t value = 0, type = 0, size = 4;
    ASSERT_EQ(reg_query_value(k.key, "mode", &type, &value, &size), reg_ok);
    EXPECT_EQ(type, reg_dword);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(value, 3u);
}

TEST(PlRegistry, StatusNumbersKeepTheirMeaning)
{
    config_home home;
    open_key k;
    ASSERT_EQ(set_text(k.key, "host", "localhost"), reg_ok);
    uint32_t size = 0, type = 0;
    EXPECT_EQ(reg_query_value(k.key, "missing", &type, nullptr, &size), reg_not_found);

    // The size alone, then a buffer too small: nothing copied, size told.
    ASSERT_EQ(reg_query_value(k.key, "host", &type, nullptr, &size), reg_ok);
    EXPECT_EQ(size, 10u);
    char small[4] = {'x', 'x', 'x', 'x'};
    size = sizeof small;
    EXPECT_EQ(reg_query_value(k.key, "host", &type, small, &size), reg_more_data);
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(small[0], 'x');

    // Wide: units of wchar_t with the terminator.
    size = 0;
    ASSERT_EQ(reg_query_value_w(k.key, L"host", &type, nullptr, &size), reg_ok);
    EXPECT_EQ(size, 10 * sizeof(wchar_t));

    const uint32_t n = 1;
    EXPECT_EQ(reg_set_value(k.key, "n", reg_dword, &n, 2), reg_invalid_parameter);
    EXPECT_EQ(reg_set_value(k.key, "n", 3 /* binary */, &n, 4), reg_invalid_parameter);
    EXPECT_EQ(reg_query_value(0x1, "host", &type, nullptr, &size), reg_invalid_handle);
    reg_key other = 0;
    EXPECT_EQ(reg_create_key(0x80000002, key_path, other, nullptr), reg_invalid_handle);
    EXPECT_EQ(reg_create_key(hkey_current_user, "Software\\..\\x", other, nullptr), reg_invalid_parameter);
}

TEST(PlRegistry, ValuesWrittenByOneProcessAreReadByAnother)
{
    config_home home;
    const int child = run_in_child([] {
        open_key k;
        const uint32_t port = 3306;
        const std::wstring wide = L"wide \u00e9\u20ac";
        const bool ok = k.status == reg_ok && reg_set_value(k.key, "port", reg_dword, &port, 4) == reg_ok &&
                        set_text(k.key, "narrow", "na=rrow\n") == reg_ok &&
                        reg_set_value_w(k.key, L"wide", reg_sz, wide.c_str(),
                                        static_cast<uint32_t>((wide.size() + 1) * sizeof(wchar_t))) == reg_ok;
        return ok ? 0 : 1;
    });
    ASSERT_EQ(child, 0);
    open_key k;
    uint32_t port = 0, size = 4, type = 0;
    ASSERT_EQ(reg_query_value(k.key, "port", &type, &port, &size), reg_ok);
    EXPECT_EQ(port, 3306u);
    EXPECT_EQ(read_text(k.key, "narrow"), "na=rrow\n");
    wchar_t wide[32] = {};
    size = sizeof wide;
    ASSERT_EQ(reg_query_value_w(k.key, L"WIDE", &type, wide, &size), reg_ok);
    EXPECT_EQ(std::wstring(wide), L"wide \u00e9\u20ac");
}

TEST(PlRegistry, ADamagedLineCostsOnlyItself)
{
    config_home home;
    fs::create_directories(home.path() / "Brenvault");
    test_dir::write((home.path() / "Brenvault" / "Tessaline.reg").string(),
                    "dword port=12x\nnonsense\nsz host=db\\=1\ndword mode=2\n");
    open_key k;
    EXPECT_EQ(read_text(k.key, "host"), "db=1");
    uint32_t value = 0, size = 4;
    EXPECT_EQ(reg_query_value(k.key, "mode", nullptr, &value, &size), reg_ok);
    EXPECT_EQ(value, 2u);
    EXPECT_EQ(reg_query_value(k.key, "port", nullptr, &value, &size), reg_not_found);
}
