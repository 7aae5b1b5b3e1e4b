#include "DAO/dao_engi.hpp"

#include "DAO/dao_db.hpp"

#include "OLE/ole_var.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "platform/text/pl_utf8.hpp"

#include <cstdio>

const char dao_missing_message[] =
    "Failed to load Data Access Objects (DAO) support library.\r\nPlease reinstall the application to repair it.\r\n";

namespace {
constexpr IID dbengine_iid = {0x00000021, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
constexpr GUID dao35_clsid = {0x00000100, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
constexpr GUID dao36_clsid = {0x00000100, 0x0000, 0x0100, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
constexpr GUID ace_clsid = {0xCD7791B9, 0x43FD, 0x42C5, {0xAE, 0x42, 0x8D, 0xD2, 0x81, 0x1F, 0x04, 0x19}};
} // namespace

const dao_engine_version dao_engine_versions[4] = {
    {2, dao35_clsid, dbengine_iid},
    {1, dao35_clsid, dbengine_iid},
    {0, dao36_clsid, dbengine_iid},
    {3, ace_clsid, dbengine_iid},
};

// --- dao_exception ---------------------------------------------------------

namespace {

// The engine's errors could not be read: what is raised instead.
[[noreturn]] void unreadable_error(int step)
{
    tk_logger::log(1, "Failed on step #%d", step);
    throw tk_exception(1);
}

} // namespace

dao_exception::dao_exception() : tk_exception(0)
{
    tk_logger::log(2, "dao_exception::dao_exception");
    dao_engine* owner = dao_engine::instance_ptr();
    ole_com_ptr<DAOErrors> errors;
    if (owner->engine.empty() || FAILED(owner->engine->get_Errors(errors.address())) || errors.empty())
        unreadable_error(1);
    ole_com_ptr<DAOError> error;
    const ole_variant first(0);
    if (FAILED(errors->get_Item(first.get_variant(), error.address())) || error.empty())
        unreadable_error(2);
    dao_bstr description;
    if (FAILED(error->get_Description(description.address())))
        unreadable_error(3);
    std::unique_ptr<char[]> narrow;
    message = tk_unicode_to_ansi2(description.text().c_str(), narrow) ? narrow.get() : "";
    tk_logger::log(2, "Got error: %s", message.c_str());
    int32_t number = 0;
    if (FAILED(error->get_Number(&number)))
        unreadable_error(4);
    code = 0x10000u | (static_cast<uint32_t>(number) & 0xFFFFu);
    tk_logger::log(2, "Got error code: %08X", code);
}

// --- dao_bstr ----------------------------------------------------------------

dao_bstr::dao_bstr(const std::string& text)
{
    tk_logger::log(1, "dao_bstr::ctor( string=%s )", text.c_str());
    const std::wstring wide = platform::from_utf8(text);
    value = SysAllocStringLen(wide.data(), static_cast<uint32_t>(wide.size()));
}

dao_bstr::dao_bstr(const std::wstring& text)
{
    tk_logger::wlog(1, L"dao_bstr::ctor( wstring=%s )", text.c_str());
    value = SysAllocStringLen(text.data(), static_cast<uint32_t>(text.size()));
}

dao_bstr::~dao_bstr() { SysFreeString(value); }

dao_bstr::operator BSTR() const
{
    tk_logger::log(1, "dao_bstr::operator BSTR");
    return value;
}

BSTR* dao_bstr::address()
{
    SysFreeString(value);
    value = nullptr;
    return &value;
}

std::wstring dao_bstr::text() const { return value == nullptr ? std::wstring() : std::wstring(value); }

// --- dao_generator -----------------------------------------------------------

dao_generator::dao_generator() { tk_logger::log(2, "dao_generator::ctor"); }

dao_generator::~dao_generator()
{
    tk_logger::log(2, "dao_generator::dtor");
    if (!generated)
        return;
    std::remove((path + ".ldb").c_str());
    std::remove(path.c_str());
}

// --- dao_engine --------------------------------------------------------------

dao_engine::dao_engine(bool no_com_init_) : no_com_init(no_com_init_)
{
    tk_logger::log(2, "dao_engine::ctor");
    if (!no_com_init && FAILED(CoInitialize(nullptr)))
        throw dao_exception();
}

dao_engine::~dao_engine()
{
    tk_logger::log(2, "dao_engine::dtor");
    if (version != no_engine)
        uninitialize();
    if (!no_com_init)
        CoUninitialize();
}

bool dao_engine::set_version_if(uint32_t wanted)
{
    tk_logger::log(2, "dao_engine::set_version_if(%d)", wanted);
    if (version != no_engine)
        uninitialize();
    for (const dao_engine_version& row : dao_engine_versions) {
        if (row.version != wanted)
            continue;
        const HRESULT hr =
            CoCreateInstance(row.clsid, nullptr, CLSCTX_ALL, row.iid, reinterpret_cast<void**>(engine.address()));
        if (FAILED(hr) || engine.empty()) {
            tk_logger::log(2, "CoCreateInstance failed: hr=%08X\n", static_cast<uint32_t>(hr));
            return false;
        }
        tk_logger::log(2, "CoCreateInstance succeeded!");
        version = wanted;
        return true;
    }
    throw tk_mail_assertion("dao_engi.cpp", 441);
}

void dao_engine::uninitialize()
{
    tk_logger::log(2, "dao_engine::uninitialize");
    engine.release();
    version = no_engine;
}

DAODBEngine* dao_engine::held_engine(int version_line, int engine_line) const
{
    if (version == no_engine)
        throw tk_mail_assertion("dao_engi.cpp", version_line);
    if (engine.empty())
        throw tk_mail_assertion("dao_engi.cpp", engine_line);
    return engine.get();
}

ole_com_ptr<DAODatabase> dao_engine::open_with(const std::wstring& path, const std::wstring& connect, uint32_t mode) const
{
    const dao_bstr name(path);
    const ole_variant exclusive((mode & 0x10) != 0), read_only((mode & 0x01) != 0), connect_text(connect);
    ole_com_ptr<DAODatabase> database;
    const HRESULT hr = engine->OpenDatabase(name, exclusive.get_variant(), read_only.get_variant(),
                                            connect_text.get_variant(), database.address());
    dao_check(hr, database);
    return database;
}

ole_com_ptr<DAODatabase> dao_engine::open_database(const std::wstring& path, const std::wstring& connect, uint32_t mode)
{
    tk_logger::wlog(2, L"dao_engine::open_database(%s, %s, mode=%d)", path.c_str(), connect.c_str(), mode);
    held_engine(311, 314);
    return open_with(path, connect, mode);
}

std::unique_ptr<udb_database> dao_engine::open_db(const std::wstring& name, uint32_t mode, const std::wstring& password)
{
    tk_logger::wlog(2, L"dao_engine::open_db(%s, mode=%d)", name.c_str(), mode);
    tk_logger::wlog(3, L"Opening MS Access database '%s'", name.c_str());
    held_engine(239, 242);
    const std::wstring connect = password.empty() ? std::wstring() : L";pwd=" + password;
    tk_logger::log(2, "Open database using DAO engine");
    ole_com_ptr<DAODatabase> database = open_with(name, connect, mode);
    tk_logger::log(2, "Right after OpenDatabase call");
    return std::make_unique<dao_database>(name, database.get(), mode);
}

std::unique_ptr<udb_database> dao_engine::create_db(const std::wstring& name)
{
    constexpr HRESULT no_library = static_cast<HRESULT>(0x800A0E31u);
    constexpr uint32_t created_mode = 0x72;
    tk_logger::wlog(2, L"dao_engine::create_db (%s)", name.c_str());
    tk_logger::wlog(3, L"Creating MS Access database '%s'", name.c_str());
    DAODBEngine* held = held_engine(163, 166);
    const dao_bstr path(name), locale(std::wstring(L";LANGID=0x0409;CP=1252;COUNTRY=0"));
    ole_com_ptr<DAODatabase> database;
    const HRESULT hr = held->CreateDatabase(path, locale, ole_variant(0).get_variant(), database.address());
    tk_logger::log(2, "CreateDatabase returns %08X", static_cast<uint32_t>(hr));
    if (hr == no_library)
        throw tk_exception(std::string("Failed to load Data Access Objects (DAO) support library.\n") +
                               (version == 0 ? "Microsoft Access 2000" : "Microsoft Access 95/97") +
                               " installation is required to proceed\nwith the application.\n",
                           1);
    dao_check(hr, database);
    return std::make_unique<dao_database>(name, database.get(), created_mode);
}
