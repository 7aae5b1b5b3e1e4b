// What the objects of the DAO-like layer share: the engine's error list, the
// reference-counted base that answers for one interface, a small owning
// pointer, and the rows a table or query hands out.
#pragma once

#include "platform/dao/pl_daoif.hpp"
#include "platform/dao/pl_wbook.hpp"
#include "platform/ole/pl_unkn.hpp"

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::dao {

// Error numbers the layer raises itself; the readers add theirs (read_error).
enum : int32_t {
    err_out_of_memory = 7,
    err_invalid_argument = 3001,
    err_no_current_record = 3021,
    err_unrecognized_format = 3049,
    err_input_table = 3078,
    err_invalid_sql = 3129,
    err_select_syntax = 3141,
    err_no_isam = 3170,
    err_invalid_operation = 3219,
    err_not_supported = 3251,
    err_item_not_found = 3265,
    err_property_not_found = 3270,
    err_object_closed = 3420,
};

// The failure code of an error number.
constexpr HRESULT dao_result(int32_t number)
{
    return static_cast<HRESULT>(0x800A0000u | (static_cast<uint32_t>(number) & 0xFFFFu));
}

// The engine's Errors collection, shared by every object made from it: the
// last failure replaces whatever was there.
struct dao_session {
    struct entry {
        int32_t number;
        std::wstring description;
    };
    std::vector<entry> errors;
};
using dao_session_ptr = std::shared_ptr<dao_session>;

std::wstring dao_wide(std::string_view utf8);

// One reference to an object of the layer.
template <class T> class dao_ref {
public:
    dao_ref() = default;
    // Adopts the reference the object was made with.
    explicit dao_ref(T* adopted) : p(adopted) {}
    dao_ref(const dao_ref& that) : p(that.p) { if (p) p->AddRef(); }
    dao_ref& operator=(dao_ref that) { std::swap(p, that.p); return *this; }
    ~dao_ref() { if (p) p->Release(); }
    T* operator->() const { return p; }
    T* get() const { return p; }
    // A new reference for a caller's out-parameter.
    template <class I> HRESULT hand_out(I** out) const
    {
        p->AddRef();
        *out = p;
        return S_OK;
    }

private:
    T* p = nullptr;
};

template <class T, class... A> dao_ref<T> dao_make(A&&... args) { return dao_ref<T>(new T(std::forward<A>(args)...)); }

// The reference count of pl_unknown under one DAO interface, and the error
// reporting every member shares.
template <class Itf> class dao_object : public pl_unknown, public Itf {
public:
    HRESULT QueryInterface(REFIID iid, void** out) override { return pl_unknown::QueryInterface(iid, out); }
    uint32_t AddRef() override { return pl_unknown::AddRef(); }
    uint32_t Release() override { return pl_unknown::Release(); }
    dao_object(dao_session_ptr session, const IID* iid = nullptr) : session(std::move(session)), iid(iid) {}

protected:
    void* query_interface(REFIID asked) override
    {
        return iid != nullptr && asked == *iid ? static_cast<Itf*>(this) : nullptr;
    }

    HRESULT fail(int32_t number, std::wstring description) const
    {
        session->errors.assign(1, {number, std::move(description)});
        return dao_result(number);
    }
    HRESULT bad_argument() const { return fail(err_invalid_argument, L"An argument is missing or of the wrong kind."); }
    HRESULT not_supported() const { return fail(err_not_supported, L"This object does not offer that operation."); }
    HRESULT not_found() const { return fail(err_item_not_found, L"The collection has no such item."); }
    HRESULT object_closed() const { return fail(err_object_closed, L"The object has been closed."); }
    HRESULT no_current_record() const { return fail(err_no_current_record, L"The recordset stands on no row."); }
    // Runs body, turning the readers' failures and exhaustion into errors.
    template <class F> HRESULT guarded(F&& body) const
    {
        try {
            return body();
        } catch (const read_error& e) {
            return fail(e.number(), dao_wide(e.description()));
        } catch (const std::bad_alloc&) {
            return fail(err_out_of_memory, L"Memory ran out.");
        }
    }
    template <class T> HRESULT put(T value, T* out) const
    {
        if (out == nullptr)
            return bad_argument();
        *out = value;
        return S_OK;
    }
    HRESULT put_text(std::wstring_view text, BSTR* out) const;

    dao_session_ptr session;

private:
    const IID* iid;
};

// Resolves a collection item: an integer VARIANT is a zero-based index, a
// VT_BSTR a name compared without regard to case. False when neither finds
// one of count items.
bool dao_find_item(const VARIANT& key, size_t count, const std::vector<std::wstring>& names, size_t& index);
// The integer of a VARIANT (VT_EMPTY gives fallback); false when it is none.
bool dao_integer(const VARIANT& value, int32_t fallback, int32_t& out);

// One owned VARIANT.
class held_variant {
public:
    held_variant() { VariantInit(&v); }
    held_variant(const held_variant& that) : held_variant() { VariantCopy(&v, &that.v); }
    held_variant& operator=(const held_variant& that)
    {
        if (this != &that)
            VariantCopy(&v, &that.v);
        return *this;
    }
    ~held_variant() { VariantClear(&v); }
    VARIANT v;
};

// What a column says of itself beyond its name and type.
struct dao_column {
    int32_t size = 0;
    int32_t attributes = 0;
    bool required = false;
    bool allow_zero_length = false;
    std::wstring default_value;  // the text as written, empty for none
    // Properties a column may have ("Description", "Format"), by name.
    std::vector<std::pair<std::wstring, std::wstring>> properties;
};

// The rows a table or a query hands out: named, typed columns.
class dao_rows {
public:
    virtual ~dao_rows() = default;
    const std::vector<std::wstring>& names() const { return column_names; }
    virtual int16_t type(size_t column) const = 0;
    // What the type implies: a worksheet column has nothing more to say.
    virtual dao_column describe(size_t column) const;
    virtual size_t rows() const = 0;
    // A new value (VT_NULL for an empty or error cell) into out.
    virtual void value(size_t column, size_t row, VARIANT& out) const = 0;

protected:
    std::vector<std::wstring> column_names;
};
using dao_rows_ptr = std::shared_ptr<const dao_rows>;

// Rows that take new ones, through a recordset's AddNew, Collect and
// Update. Refusals are read_error carrying the engine's number.
class dao_writer {
public:
    virtual ~dao_writer() = default;
    // Sets one column of a row being added, the value changed to the
    // column's type.
    virtual void put(std::vector<held_variant>& row, size_t column, const VARIANT& value) = 0;
    // Checks the row whole and stores it; columns left VT_EMPTY take their
    // default.
    virtual void add(std::vector<held_variant>& row) = 0;
};

// Where a recordset stands: shared by it and its fields, which read the
// current row.
struct dao_cursor {
    int64_t position = 0;  // -1 before the first row, visible after the last
    size_t visible = 0;    // rows the recordset shows
    bool closed = false;
};

// Fields over rows; with a cursor they read its current row, without one
// (a table or query definition) they have no value.
dao_ref<DAOFields> dao_make_fields(dao_session_ptr session, dao_rows_ptr rows, std::shared_ptr<dao_cursor> cursor);
// Without a writer the recordset only reads.
dao_ref<DAORecordset> dao_make_recordset(dao_session_ptr session, dao_rows_ptr rows, bool append_only,
                                         std::shared_ptr<dao_writer> writer = {});

// The table of a worksheet: "Name$", or "'Name$'" when the name holds
// anything but letters, digits and '_' or starts with a digit.
std::wstring dao_table_name(const std::wstring& sheet);

// A workbook opened as a database.
dao_ref<DAODatabase> dao_make_database(dao_session_ptr session, const std::shared_ptr<workbook>& book);

// The rows of one worksheet; the workbook stays alive while they do.
dao_rows_ptr dao_sheet_rows(std::shared_ptr<workbook> book, const sheet_table& table);
// One row of one column "Expr1000" holding count as a long integer.
dao_rows_ptr dao_count_rows(size_t count);

template <class Itf> HRESULT dao_object<Itf>::put_text(std::wstring_view text, BSTR* out) const
{
    if (out == nullptr)
        return bad_argument();
    BSTR made = SysAllocStringLen(text.data(), static_cast<uint32_t>(text.size()));
    if (made == nullptr)
        return fail(err_out_of_memory, L"Memory ran out.");
    *out = made;
    return S_OK;
}

} // namespace platform::dao
