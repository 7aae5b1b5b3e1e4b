#include "TK/tk_excep.hpp"
#include "UDB/udb_prof.hpp"
#include "test_dir.hpp"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

const std::wstring generic = udb_generic_settings;
const std::wstring tables = udb_selected_tables;

std::wstring wide(const std::string& path) { return fs::path(path).wstring(); }

// Loads `content` into a fresh profile; the result of load in `loaded`.
udb_profile load(const std::string& content, bool* loaded = nullptr)
{
    test_dir dir;
    test_dir::write(dir.file("p.rvl"), content);
    udb_profile profile;
    const bool ok = profile.load(wide(dir.file("p.rvl")));
    if (loaded)
        *loaded = ok;
    else
        EXPECT_TRUE(ok) << content;
    return profile;
}

} // namespace

TEST(UdbProfile, EntryLines)
{
    const struct {
        std::string line, key, value;
    } cases[] = {
        {"key = value", "key", " value"},
        {"a=b=c", "a", "b=c"},
        {"  spaced key  =x  ", "spaced key", "x  "},
        {"empty=", "empty", ""},
        {"=v", "", "v"},
    };
    for (const auto& c : cases) {
        const udb_profile p = load("[Generic settings]\r\n" + c.line + "\r\n");
        EXPECT_EQ(p.get_value(generic, wide(c.key)), wide(c.value)) << c.line;
    }
}

TEST(UdbProfile, PlainLinesAreListLinesAndEntries)
{
    udb_profile p = load("[Selected Tables]\r\n  Sheet1$  \r\nSheet 2$\r\n");
    EXPECT_EQ(p.get_selected_tables(), (udb_profile_entries{{L"Sheet1$", L""}, {L"Sheet 2$", L""}}));
    EXPECT_EQ(p.get_list(tables), (std::vector<std::wstring>{L"  Sheet1$  ", L"Sheet 2$"}));
}

TEST(UdbProfile, LineEndsMarksAndSectionsThatComeTwice)
{
    const std::string lf = "[Generic settings]\nsrc=a.xls\n\n[MySQL settings]\nhost=h\n[Generic settings]\nmode=2";
    std::string crlf;
    for (char c : lf)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    for (const std::string& content : {lf, crlf, "\xEF\xBB\xBF" + crlf}) {
        udb_profile p = load(content);
        EXPECT_EQ(p.get_value(generic, L"src"), L"a.xls");
        EXPECT_EQ(p.get_value(generic, L"mode"), L"2");  // last line, no line feed
        EXPECT_EQ(p.get_value(L"MySQL settings", L"host"), L"h");
    }
}

TEST(UdbProfile, LongLinesAndUtf8)
{
    const std::string path(10000, 'p');
    udb_profile p = load("[Generic settings]\r\nsrc=/" + path + "\r\ndest=caf\xC3\xA9 \xE2\x82\xAC\r\n");
    EXPECT_EQ(p.get_value(generic, L"src").size(), path.size() + 1);
    EXPECT_EQ(p.get_value(generic, L"dest"), L"caf\u00e9 \u20ac");
}

TEST(UdbProfile, ALineBeforeAnySectionFailsTheLoad)
{
    bool loaded = true;
    load("\r\nsrc=a.xls\r\n[Generic settings]\r\n", &loaded);
    EXPECT_FALSE(loaded);
    load("stray\r\n", &loaded);
    EXPECT_FALSE(loaded);
}

TEST(UdbProfile, AMissingProfileIsALevelOneError)
{
    test_dir dir;
    udb_profile p;
    for (const std::string& path : {dir.file("missing.rvl"), dir.path().string()}) {
        try {
            p.load(wide(path));
            FAIL() << path;
        } catch (const tk_exception& e) {
            EXPECT_EQ(e.get_level(), 1);
            EXPECT_EQ(std::string(e.what()),
                      "Profile '" + path + "' does not exist. Please verify the correct path/name was given.");
        }
    }
}

TEST(UdbProfile, SetValueAppendsAndGetValueFindsTheFirstExactKey)
{
    udb_profile p;
    p.set_value(generic, L"mode", L"1");
    p.set_value(generic, L"mode", L"2");
    EXPECT_EQ(p.get_value(generic, L"mode"), L"1");
    EXPECT_EQ(p.get_value(generic, L"MODE"), L"");
    EXPECT_EQ(p.get_value(L"No such section", L"mode"), L"");
    EXPECT_TRUE(p.get_list(L"Type Mappings").empty());
}

TEST(UdbProfile, AFreshProfileStoresItsFourSectionsInOrder)
{
    test_dir dir;
    ASSERT_TRUE(udb_profile().store(wide(dir.file("p.rvl"))));
    EXPECT_EQ(test_dir::read(dir.file("p.rvl")),
              "[Available Queries]\r\n\r\n[Generic settings]\r\n\r\n[Selected Tables]\r\n\r\n[Selected Views]\r\n\r\n");
}

TEST(UdbProfile, AStoredProfileReadsBackTheSame)
{
    udb_profile p;
    p.set_value(generic, L"src", L"/data/caf\u00e9.xls");
    p.set_value(generic, L"logfile", L"");
    p.set_value(L"MySQL settings", L"password", L" p=ss ");
    p.set_value(L"MS Excel settings", L"refine types", L"1");
    p.set_value(tables, L"Sheet1$", L"");
    p.set_value(L"Available Queries", L"q1", L"SELECT 1");
    p.add_list_item(L"Type Mappings", L"Sheet1$|id|INT");
    p.add_section(L"\uFF01 last");
    p.add_section(L"\U0001F600 before");
    test_dir dir;
    const std::wstring file = wide(dir.file("p.rvl"));
    ASSERT_TRUE(p.store(file));
    EXPECT_EQ(test_dir::read(dir.file("p.rvl")),
              "[Available Queries]\r\nq1=SELECT 1\r\n\r\n"
              "[Generic settings]\r\nsrc=/data/caf\xC3\xA9.xls\r\nlogfile=\r\n\r\n"
              "[MS Excel settings]\r\nrefine types=1\r\n\r\n"
              "[MySQL settings]\r\npassword= p=ss \r\n\r\n"
              "[Selected Tables]\r\nSheet1$\r\n\r\n"
              "[Selected Views]\r\n\r\n"
              "[\xF0\x9F\x98\x80 before]\r\n\r\n"
              "[\xEF\xBC\x81 last]\r\n\r\n"
              "[Type Mappings]\r\nSheet1$|id|INT\r\n");

    udb_profile back;
    ASSERT_TRUE(back.load(file));
    for (const wchar_t* key : {L"src", L"logfile"})
        EXPECT_EQ(back.get_value(generic, key), p.get_value(generic, key)) << key;
    EXPECT_EQ(back.get_value(L"MySQL settings", L"password"), L" p=ss ");
    EXPECT_EQ(back.get_value(L"MS Excel settings", L"refine types"), L"1");
    EXPECT_EQ(back.get_selected_tables(), p.get_selected_tables());
    EXPECT_EQ(back.get_available_queries(), p.get_available_queries());
    EXPECT_EQ(back.get_selected_views(), p.get_selected_views());
    EXPECT_EQ(back.get_list(L"Type Mappings"), p.get_list(L"Type Mappings"));
}

TEST(UdbProfile, AFailedWriteIsReportedAndLeavesTheOldProfile)
{
    udb_profile p;
    p.set_value(generic, L"src", L"a.xls");
    EXPECT_FALSE(p.store(L"/dev/full"));

    test_dir dir;
    EXPECT_FALSE(p.store(wide(dir.file("missing/p.rvl"))));
    EXPECT_FALSE(p.store(wide(dir.path().string())));

    const std::string file = dir.file("p.rvl");
    test_dir::write(file, "[Generic settings]\r\nsrc=old.xls\r\n");
    ASSERT_TRUE(p.store(wide(file)));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(UdbProfile, LineBreaksAndEqualSignsReadBackAsTheyWere)
{
    udb_profile p;
    p.set_value(tables, L"a=b", L"");  // a worksheet name, written bare
    p.set_value(tables, L"q=1", L"SELECT *\r\nFROM [s$]\nWHERE x=1 AND y LIKE 'a%25%'");
    p.set_value(generic, L"src", L"100%3D.csv");
    p.add_list_item(L"Type Mappings", L"    new_name: x=y\nz");
    test_dir dir;
    const std::wstring file = wide(dir.file("p.rvl"));
    ASSERT_TRUE(p.store(file));
    const std::string text = test_dir::read(dir.file("p.rvl"));
    EXPECT_NE(text.find("[Selected Tables]\r\na%3Db\r\n"
                        "q%3D1=SELECT *%0D%0AFROM [s$]%0AWHERE x=1 AND y LIKE 'a%2525%25'\r\n"),
              std::string::npos)
        << text;

    udb_profile back;
    ASSERT_TRUE(back.load(file));
    EXPECT_EQ(back.get_selected_tables(), p.get_selected_tables());
    EXPECT_EQ(back.get_value(generic, L"src"), L"100%3D.csv");
    EXPECT_EQ(back.get_list(L"Type Mappings"), p.get_list(L"Type Mappings"));
    EXPECT_EQ(back.get_list(tables), std::vector<std::wstring>{L"a=b"});
}

TEST(UdbProfile, APercentSignThatIsNoCodeReadsAsItself)
{
    const udb_profile p = load("[Available Queries]\r\nq=SELECT * FROM t WHERE a LIKE '%x' OR b LIKE '5%'\r\n");
    EXPECT_EQ(p.get_available_queries(),
              (udb_profile_entries{{L"q", L"SELECT * FROM t WHERE a LIKE '%x' OR b LIKE '5%'"}}));
}
