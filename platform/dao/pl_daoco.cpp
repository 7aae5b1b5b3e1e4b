// The engine object and its Errors collection. Every object made from one
// engine reports its failures into that engine's list.
#include "platform/dao/pl_daoco.hpp"

#include "platform/dao/pl_daoim.hpp"
#include "platform/dao/pl_store.hpp"
#include "platform/text/pl_case.hpp"
#include "platform/text/pl_utf8.hpp"

#include <atomic>
#include <filesystem>

const GUID CLSID_DAODBEngine36 = {0x00000100, 0x0000, 0x0100, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
const GUID CLSID_DAODBEngine120 = {0xCD7791B9, 0x43FD, 0x42C5, {0xAE, 0x42, 0x8D, 0xD2, 0x81, 0x1F, 0x04, 0x19}};
const IID IID_DAODBEngine = {0x00000021, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
const IID IID_DAORecordset = {0x00000031, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
const IID IID_DAOField = {0x00000051, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
const IID IID_DAOIndexFields = {0x0000005D, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};

namespace platform::dao {

namespace {

std::atomic<bool> older_available{true};
std::atomic<bool> newer_available{true};

std::atomic<bool>* availability(const GUID& clsid)
{
    if (clsid == CLSID_DAODBEngine36)
        return &older_available;
    if (clsid == CLSID_DAODBEngine120)
        return &newer_available;
    return nullptr;
}

std::wstring_view trimmed(std::wstring_view s)
{
    const size_t first = s.find_first_not_of(L" \t");
    if (first == std::wstring_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(L" \t") - first + 1);
}

// "Excel 8.0; HDR=No; IMEX=1;": the source type first, then options. 0 or
// the error number: an empty type is an Access database, which we cannot
// read (3049); another type has no driver here (3170); HDR other than Yes or
// No is refused (3001). IMEX is accepted: mixed columns are text anyway.
int32_t parse_connect(std::wstring_view connect, bool& header_row)
{
    static const wchar_t* const types[] = {L"Excel 5.0", L"Excel 8.0", L"Excel 12.0", L"Excel 12.0 Xml"};
    header_row = true;
    const size_t end = connect.find(L';');
    const std::wstring_view type = trimmed(connect.substr(0, end));
    if (type.empty())
        return err_unrecognized_format;
    bool known = false;
    for (const wchar_t* t : types)
        known = known || equal_no_case(type, t);
    if (!known)
        return err_no_isam;
    for (size_t at = end; at != std::wstring_view::npos && at < connect.size();) {
        const size_t next = connect.find(L';', at + 1);
        const std::wstring_view part = trimmed(connect.substr(at + 1, next == std::wstring_view::npos ? next : next - at - 1));
        at = next;
        const size_t eq = part.find(L'=');
        if (eq == std::wstring_view::npos || !equal_no_case(trimmed(part.substr(0, eq)), L"HDR"))
            continue;
        const std::wstring_view value = trimmed(part.substr(eq + 1));
        if (!equal_no_case(value, L"Yes") && !equal_no_case(value, L"No"))
            return err_invalid_argument;
        header_row = equal_no_case(value, L"Yes");
    }
    return 0;
}

class error_object : public dao_object<DAOError> {
public:
    error_object(dao_session_ptr session, dao_session::entry error) : dao_object(std::move(session)), error(std::move(error)) {}
    HRESULT get_Number(int32_t* out) override { return put(error.number, out); }
    HRESULT get_Description(BSTR* out) override { return put_text(error.description, out); }

private:
    dao_session::entry error;
};

class errors_object : public dao_object<DAOErrors> {
public:
    using dao_object::dao_object;
    HRESULT get_Count(int16_t* out) override { return put(static_cast<int16_t>(session->errors.size()), out); }
    // An Error keeps its number and text after the list has changed.
    HRESULT get_Item(VARIANT key, DAOError** out) override
    {
        size_t index = 0;
        if (out == nullptr)
            return bad_argument();
        if (!dao_find_item(key, session->errors.size(), {}, index))
            return not_found();
        return guarded([&] { return dao_make<error_object>(session, session->errors[index]).hand_out(out); });
    }
};

class engine_object : public dao_object<DAODBEngine> {
public:
    engine_object() : dao_object(std::make_shared<dao_session>(), &IID_DAODBEngine) {}

    HRESULT get_Errors(DAOErrors** out) override
    {
        return out == nullptr ? bad_argument() : dao_make<errors_object>(session).hand_out(out);
    }
    HRESULT OpenDatabase(BSTR name, VARIANT exclusive, VARIANT read_only, VARIANT connect, DAODatabase** out) override;
    HRESULT CreateDatabase(BSTR name, BSTR locale, VARIANT, DAODatabase** out) override
    {
        if (out == nullptr)
            return bad_argument();
        return guarded([&] { return dao_create_store(session, std::wstring(bstr_view(name)), bstr_view(locale)).hand_out(out); });
    }

private:
    HRESULT open_store(const std::wstring& path, std::wstring_view connect, DAODatabase** out);
};

// Only databases made in this process are open to us: a file of another
// Access database cannot be read.
HRESULT engine_object::open_store(const std::wstring& path, std::wstring_view connect, DAODatabase** out)
{
    return guarded([&] {
        const dao_ref<DAODatabase> found = dao_open_store(session, path, connect);
        if (found.get() != nullptr)
            return found.hand_out(out);
        std::error_code ignored;
        if (!std::filesystem::exists(std::filesystem::path(to_utf8(path)), ignored))
            return fail(err_file_not_found, L"There is no database file '" + path + L"'.");
        return fail(err_unrecognized_format, L"The file '" + path + L"' is not a database this engine reads.");
    });
}

// Exclusive and read-only access are the same here: a workbook is only read.
HRESULT engine_object::OpenDatabase(BSTR name, VARIANT, VARIANT, VARIANT connect, DAODatabase** out)
{
    if (out == nullptr || (connect.vt != VT_BSTR && connect.vt != VT_EMPTY))
        return bad_argument();
    const std::wstring path(bstr_view(name));
    const std::wstring_view connect_text = connect.vt == VT_BSTR ? bstr_view(connect.bstrVal) : std::wstring_view();
    if (dao_is_store_connect(connect_text))
        return open_store(path, connect_text, out);
    bool header_row = true;
    switch (parse_connect(connect_text, header_row)) {
    case 0:
        break;
    case err_unrecognized_format:
        return fail(err_unrecognized_format, L"The file '" + path + L"' is not a database this engine reads.");
    case err_no_isam:
        return fail(err_no_isam, L"No driver here reads sources of that type.");
    default:
        return bad_argument();
    }
    return guarded([&] {
        std::shared_ptr<workbook> book = workbook::open(to_utf8(path), header_row);
        return dao_make_database(session, book).hand_out(out);
    });
}

} // namespace

void set_engine_class_available(const GUID& clsid, bool available)
{
    if (std::atomic<bool>* flag = availability(clsid))
        flag->store(available);
}

} // namespace platform::dao

HRESULT CoInitialize(void*) { return S_OK; }

void CoUninitialize() {}

HRESULT CoCreateInstance(const GUID& clsid, IUnknown* outer, uint32_t, REFIID iid, void** out)
{
    if (out == nullptr)
        return E_POINTER;
    *out = nullptr;
    const std::atomic<bool>* flag = platform::dao::availability(clsid);
    if (flag == nullptr || !flag->load())
        return REGDB_E_CLASSNOTREG;
    if (outer != nullptr)
        return CLASS_E_NOAGGREGATION;
    platform::dao::dao_ref<DAODBEngine> engine(new platform::dao::engine_object());
    return engine->QueryInterface(iid, out);
}
