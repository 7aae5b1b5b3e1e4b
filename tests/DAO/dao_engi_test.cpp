// The DAO engine: engine classes newest first then the older one, the
// engine's errors as exceptions, and the owners every DAO call goes through.
#include "DAO/dao_engi.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string fixture(const std::string& name) { return std::string(RVL_WORKBOOKS) + "/" + name; }

// Withdraws engine classes for one test, as on a machine without them.
struct withdrawn {
    std::vector<const GUID*> classes;
    explicit withdrawn(std::vector<const GUID*> c) : classes(std::move(c))
    {
        for (const GUID* g : classes)
            platform::dao::set_engine_class_available(*g, false);
    }
    ~withdrawn()
    {
        for (const GUID* g : classes)
            platform::dao::set_engine_class_available(*g, true);
    }
};

// What the workbook side does: newest engine first, then the older one.
bool select_engine(dao_engine& e) { return e.set_version_if(3) || e.set_version_if(0); }

template <class F> std::string assertion_of(F&& f)
{
    try {
        f();
    } catch (const tk_mail_assertion& e) {
        return e.get_message();
    }
    return "none";
}

} // namespace

TEST(DaoEngine, NewestEngineFirstThenTheOlderOne)
{
    struct engine_case { std::vector<const GUID*> missing; bool created; uint32_t version; };
    const engine_case cases[] = {
        {{}, true, 3},
        {{&CLSID_DAODBEngine120}, true, 0},
        {{&CLSID_DAODBEngine36}, true, 3},
        {{&CLSID_DAODBEngine120, &CLSID_DAODBEngine36}, false, dao_engine::no_engine},
    };
    for (const engine_case& c : cases) {
        SCOPED_TRACE(c.missing.size());
        withdrawn w(c.missing);
        dao_engine e(false);
        EXPECT_EQ(select_engine(e), c.created);
        EXPECT_EQ(e.version, c.version);
        EXPECT_EQ(e.engine.empty(), !c.created);
    }
    EXPECT_EQ(std::string(dao_missing_message),
              "Failed to load Data Access Objects (DAO) support library.\r\nPlease reinstall the application to repair it.\r\n");
}

TEST(DaoEngine, VersionsOutsideTheTableAreInternalErrors)
{
    dao_engine e(true);
    EXPECT_EQ(assertion_of([&] { e.set_version_if(4); }), make_err_meggase("dao_engi.cpp", 441));
    // The two older rows name a class that is not installed.
    EXPECT_FALSE(e.set_version_if(2));
    EXPECT_FALSE(e.set_version_if(1));
    EXPECT_EQ(e.version, dao_engine::no_engine);
    EXPECT_EQ(assertion_of([&] { e.open_database(L"x.xls", L"Excel 8.0;", 1); }), make_err_meggase("dao_engi.cpp", 311));
}

TEST(DaoEngine, ReleasesItsEngineWhenReplacedAndWhenDestroyed)
{
    DAODBEngine* first = nullptr;
    DAODBEngine* second = nullptr;
    {
        dao_engine e(false);
        ASSERT_TRUE(e.set_version_if(3));
        first = e.engine.get();
        first->AddRef();
        ASSERT_TRUE(e.set_version_if(0));
        EXPECT_EQ(e.version, 0u);
        second = e.engine.get();
        second->AddRef();
        EXPECT_EQ(first->Release(), 0u);  // the engine let go of the first one
        e.uninitialize();
        EXPECT_EQ(e.version, dao_engine::no_engine);
        EXPECT_EQ(second->Release(), 0u);
        ASSERT_TRUE(e.set_version_if(0));
        second = e.engine.get();
        second->AddRef();
    }
    EXPECT_EQ(second->Release(), 0u);
}

TEST(DaoEngine, FailedCallsBecomeExceptionsWithTheEngineError)
{
    struct open_case { std::string file; std::wstring connect; uint32_t code; std::string message; };
    const open_case cases[] = {
        {"no_such.xls", L"Excel 8.0;", 0x10BD0, "Could not find file '" + fixture("no_such.xls") + "'."},
        {"openpyxl.xlsx", L"", 0x10BE9, "The file '" + fixture("openpyxl.xlsx") + "' is not a database this engine reads."},
        {"openpyxl.xlsx", L"dBASE IV;", 0x10C62, "No driver here reads sources of that type."},
        {"encrypted.xlsx", L"Excel 12.0 Xml;", 0x10C59, "Could not decrypt file. ('" + fixture("encrypted.xlsx") + "' is protected by a password.)"},
        {"bad/truncated.xlsx", L"Excel 12.0;", 0x10CCA, "External table is not in the expected format."},
    };
    dao_engine e(false);
    ASSERT_TRUE(select_engine(e));
    for (const open_case& c : cases) {
        SCOPED_TRACE(c.file);
        try {
            e.open_database(platform::from_utf8(fixture(c.file)), c.connect, 1);
            ADD_FAILURE() << "opened";
        } catch (const dao_exception& x) {
            EXPECT_EQ(x.get_code(), c.code);
            EXPECT_EQ(x.get_level(), 0);
            EXPECT_EQ(x.get_message().substr(0, c.message.size()), c.message);
        }
    }
    const ole_com_ptr<DAODatabase> db = e.open_database(platform::from_utf8(fixture("xlwt.xls")), L"Excel 8.0; HDR=No; IMEX=1;", 1);
    ole_com_ptr<DAOTableDefs> defs;
    int16_t count = 0;
    EXPECT_EQ(db->get_TableDefs(defs.address()), S_OK);
    EXPECT_EQ(defs->get_Count(&count), S_OK);
    EXPECT_EQ(count, 3);
}

TEST(DaoEngine, ErrorsThatCannotBeReadGiveAnUnknownException)
{
    EXPECT_EQ(assertion_of([] { dao_exception(); }), make_err_meggase(tk_singl_file, 71));
    dao_engine e(true);
    try {
        throw dao_exception();  // no engine held: the errors cannot be reached
    } catch (const dao_exception&) {
        ADD_FAILURE();
    } catch (const tk_exception& x) {
        EXPECT_EQ(x.get_level(), 1);
        EXPECT_EQ(x.get_message(), "Unknown exception");
    }
    ASSERT_TRUE(e.set_version_if(0));
    try {
        throw dao_exception();  // nothing has failed yet: no first error
    } catch (const dao_exception&) {
        ADD_FAILURE();
    } catch (const tk_exception& x) {
        EXPECT_EQ(x.get_level(), 1);
    }
}

TEST(DaoEngine, OnlyTheFirstEngineIsRegistered)
{
    dao_engine first(true);
    {
        dao_engine second(true);
        EXPECT_EQ(dao_engine::instance_ptr(), &first);
    }
    EXPECT_EQ(dao_engine::instance_ptr(), &first);
}

TEST(DaoBstr, KeepsEveryCharacterAndReadsUpToTheFirstZero)
{
    const dao_bstr wide(std::wstring(L"a\0b", 3));
    EXPECT_EQ(SysStringLen(wide), 3u);
    EXPECT_EQ(wide.text(), L"a");
    const dao_bstr narrow(std::string("caf\xC3\xA9"));
    EXPECT_EQ(narrow.text(), L"caf\xE9");
    dao_bstr none;
    EXPECT_EQ(static_cast<BSTR>(none), nullptr);
    EXPECT_EQ(none.text(), L"");
    *none.address() = SysAllocString(L"given");
    EXPECT_EQ(none.text(), L"given");
    *none.address() = SysAllocString(L"again");  // the first one was freed
    EXPECT_EQ(none.text(), L"again");
}

TEST(OleComPtr, HoldsOneReferenceAndRefusesEmptyUse)
{
    ole_com_ptr<DAODBEngine> empty;
    EXPECT_EQ(assertion_of([&] { empty->get_Errors(nullptr); }), make_err_meggase("..\\OLE/ole_ptr.hpp", 94));
    DAODBEngine* raw = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_DAODBEngine36, nullptr, CLSCTX_ALL, IID_DAODBEngine, reinterpret_cast<void**>(&raw)), S_OK);
    {
        ole_com_ptr<DAODBEngine> held(raw);
        ole_com_ptr<DAODBEngine> copy = held;
        EXPECT_EQ(raw->AddRef(), 4u);
        raw->Release();
    }
    EXPECT_EQ(raw->Release(), 0u);
}
