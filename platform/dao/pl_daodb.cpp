// A workbook as a database: one table definition per worksheet, temporary
// queries over them, and the collections a workbook has but never fills
// (saved queries, relations, indexes). A worksheet is loaded on first use
// into the workbook's column store; its table definition, queries,
// recordsets and fields all read that one copy.
#include "platform/dao/pl_daoim.hpp"

#include "platform/dao/pl_daosq.hpp"
#include "platform/text/pl_case.hpp"

#include <unicode/uchar.h>

namespace platform::dao {

namespace {

class indexes_object : public dao_object<DAOIndexes> {
public:
    using dao_object::dao_object;
    HRESULT get_Count(int16_t* out) override { return put(int16_t(0), out); }
    HRESULT get_Item(VARIANT, _DAOIndex**) override { return not_found(); }
    HRESULT Append(IUnknown*) override { return not_supported(); }
};

class querydefs_object : public dao_object<DAOQueryDefs> {
public:
    using dao_object::dao_object;
    HRESULT get_Count(int16_t* out) override { return put(int16_t(0), out); }
    HRESULT get_Item(VARIANT, _DAOQueryDef**) override { return not_found(); }
};

class relations_object : public dao_object<DAORelations> {
public:
    using dao_object::dao_object;
    HRESULT Append(IUnknown*) override { return not_supported(); }
};

class tabledef_object : public dao_object<_DAOTableDef> {
public:
    tabledef_object(dao_session_ptr session, std::shared_ptr<workbook> book, size_t sheet, std::wstring name)
        : dao_object(std::move(session)), book(std::move(book)), sheet(sheet), name(std::move(name)) {}

    HRESULT get_Name(BSTR* out) override { return put_text(name, out); }
    HRESULT get_Attributes(int32_t* out) override { return put(int32_t(0), out); }
    HRESULT get_RecordCount(int32_t* out) override
    {
        if (out == nullptr)
            return bad_argument();
        return guarded([&] { return put(static_cast<int32_t>(rows()->rows()), out); });
    }
    HRESULT get_Fields(DAOFields** out) override
    {
        if (out == nullptr)
            return bad_argument();
        return guarded([&] { return dao_make_fields(session, rows(), nullptr).hand_out(out); });
    }
    HRESULT get_Indexes(DAOIndexes** out) override
    {
        return out == nullptr ? bad_argument() : dao_make<indexes_object>(session).hand_out(out);
    }
    HRESULT CreateField(VARIANT, VARIANT, VARIANT, _DAOField**) override { return not_supported(); }
    HRESULT CreateIndex(VARIANT, _DAOIndex**) override { return not_supported(); }

    const std::wstring& table() const { return name; }
    // The worksheet's rows, loaded on first use; read_error when it cannot be.
    dao_rows_ptr rows()
    {
        if (!loaded)
            loaded = dao_sheet_rows(book, book->sheet(sheet));
        return loaded;
    }

private:
    std::shared_ptr<workbook> book;
    size_t sheet;
    std::wstring name;
    dao_rows_ptr loaded;
};

class tabledefs_object : public dao_object<DAOTableDefs> {
public:
    tabledefs_object(dao_session_ptr session, const std::shared_ptr<workbook>& book) : dao_object(std::move(session))
    {
        for (size_t i = 0; i < book->sheet_names().size(); ++i) {
            names.push_back(dao_table_name(dao_wide(book->sheet_names()[i])));
            tables.push_back(dao_make<tabledef_object>(this->session, book, i, names.back()));
        }
    }
    HRESULT get_Count(int16_t* out) override { return put(static_cast<int16_t>(tables.size()), out); }
    HRESULT get_Item(VARIANT key, _DAOTableDef** out) override
    {
        size_t index = 0;
        if (out == nullptr)
            return bad_argument();
        if (!dao_find_item(key, tables.size(), names, index))
            return not_found();
        return tables[index].hand_out(out);
    }
    HRESULT Append(IUnknown*) override { return not_supported(); }
    HRESULT Delete(BSTR) override { return not_supported(); }

    // The table a query names: as listed, or a quoted name without its quotes.
    tabledef_object* find(const std::wstring& wanted) const
    {
        for (const auto& t : tables) {
            const std::wstring& listed = t->table();
            if (equal_no_case(listed, wanted) ||
                (listed.front() == L'\'' && equal_no_case(std::wstring_view(listed).substr(1, listed.size() - 2), wanted)))
                return t.get();
        }
        return nullptr;
    }

private:
    std::vector<std::wstring> names;
    std::vector<dao_ref<tabledef_object>> tables;
};

class querydef_object : public dao_object<_DAOQueryDef> {
public:
    querydef_object(dao_session_ptr session, dao_ref<tabledefs_object> tables, std::wstring sql, dao_select select)
        : dao_object(std::move(session)), tables(std::move(tables)), sql(std::move(sql)), select(std::move(select)) {}

    HRESULT get_Name(BSTR* out) override { return put_text(L"", out); }
    HRESULT get_SQL(BSTR* out) override { return put_text(sql, out); }
    HRESULT get_Fields(DAOFields** out) override
    {
        if (out == nullptr)
            return bad_argument();
        return with_rows([&](dao_rows_ptr rows) { return dao_make_fields(session, std::move(rows), nullptr).hand_out(out); });
    }
    HRESULT OpenRecordset(VARIANT type, VARIANT options, DAORecordset** out) override;

private:
    template <class F> HRESULT with_rows(F&& use);

    dao_ref<tabledefs_object> tables;
    std::wstring sql;
    dao_select select;
};

template <class F> HRESULT querydef_object::with_rows(F&& use)
{
    tabledef_object* table = tables->find(select.table);
    if (table == nullptr)
        return fail(err_input_table, L"The workbook has no table or query '" + select.table + L"' to read.");
    return guarded([&] {
        dao_rows_ptr rows = table->rows();
        return use(select.count ? dao_count_rows(rows->rows()) : rows);
    });
}

HRESULT querydef_object::OpenRecordset(VARIANT type, VARIANT options, DAORecordset** out)
{
    int32_t kind = 0, flags = 0;
    if (out == nullptr || !dao_integer(type, dbOpenDynaset, kind) || !dao_integer(options, 0, flags) ||
        (kind != dbOpenDynaset && kind != dbOpenSnapshot && kind != dbOpenForwardOnly))
        return bad_argument();
    return with_rows([&](dao_rows_ptr rows) {
        return dao_make_recordset(session, std::move(rows), (flags & dbAppendOnly) != 0).hand_out(out);
    });
}

class database_object : public dao_object<DAODatabase> {
public:
    database_object(dao_session_ptr session, const std::shared_ptr<workbook>& book)
        : dao_object(std::move(session)), tables(dao_make<tabledefs_object>(this->session, book)) {}

    HRESULT get_TableDefs(DAOTableDefs** out) override
    {
        return checked(out, [&] { return tables.hand_out(out); });
    }
    HRESULT get_QueryDefs(DAOQueryDefs** out) override
    {
        return checked(out, [&] { return dao_make<querydefs_object>(session).hand_out(out); });
    }
    HRESULT get_Relations(DAORelations** out) override
    {
        return checked(out, [&] { return dao_make<relations_object>(session).hand_out(out); });
    }
    HRESULT CreateQueryDef(VARIANT name, VARIANT sql, _DAOQueryDef** out) override;
    HRESULT CreateTableDef(VARIANT, VARIANT, VARIANT, VARIANT, _DAOTableDef**) override { return not_supported(); }
    HRESULT CreateRelation(VARIANT, VARIANT, VARIANT, VARIANT, _DAORelation**) override { return not_supported(); }
    HRESULT Close() override
    {
        if (closed)
            return object_closed();
        closed = true;
        return S_OK;
    }

private:
    template <class T, class F> HRESULT checked(T* out, F&& body)
    {
        if (closed)
            return object_closed();
        return out == nullptr ? bad_argument() : body();
    }

    dao_ref<tabledefs_object> tables;
    bool closed = false;
};

// Saved queries cannot be made in a workbook: only a temporary one, with an
// empty name.
HRESULT database_object::CreateQueryDef(VARIANT name, VARIANT sql, _DAOQueryDef** out)
{
    return checked(out, [&]() -> HRESULT {
        if ((name.vt != VT_EMPTY && name.vt != VT_BSTR) || sql.vt != VT_BSTR)
            return bad_argument();
        if (name.vt == VT_BSTR && SysStringLen(name.bstrVal) != 0)
            return not_supported();
        std::wstring text(bstr_view(sql.bstrVal));
        dao_select select;
        if (const int32_t error = dao_parse_select(text, select))
            return fail(error, dao_select_error(error));
        return guarded([&] { return dao_make<querydef_object>(session, tables, std::move(text), std::move(select)).hand_out(out); });
    });
}

} // namespace

std::wstring dao_table_name(const std::wstring& sheet)
{
    bool plain = !sheet.empty() && !u_isdigit(static_cast<UChar32>(sheet[0]));
    for (wchar_t c : sheet)
        plain = plain && (c == L'_' || u_isalnum(static_cast<UChar32>(c)));
    return plain ? sheet + L"$" : L"'" + sheet + L"$'";
}

dao_ref<DAODatabase> dao_make_database(dao_session_ptr session, const std::shared_ptr<workbook>& book)
{
    return dao_ref<DAODatabase>(new database_object(std::move(session), book));
}

} // namespace platform::dao
