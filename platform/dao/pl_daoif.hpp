// The Data Access Objects interfaces the workbook side calls, as our own
// reference-counted objects over the workbook readers. Every member returns
// an HRESULT; on failure the engine's Errors collection holds exactly one
// Error (its number and description) and the result is 0x800A0000 | number.
// A member that hands out an object never succeeds with a null one.
//
// Collection items are asked for by a VARIANT: any integer type is a
// zero-based index, a VT_BSTR a name compared without regard to case.
#pragma once

#include "platform/ole/pl_ole.hpp"

#include <cstdint>

struct DAOErrors;
struct DAOError;
struct DAODatabase;
struct DAOTableDefs;
struct _DAOTableDef;
struct DAOQueryDefs;
struct _DAOQueryDef;
struct DAORecordset;
struct DAOFields;
struct _DAOField;
struct DAOIndexes;
struct _DAOIndex;
struct DAOProperties;
struct DAOProperty;
struct DAORelations;
struct _DAORelation;

// The interface of the engine object that CoCreateInstance makes.
extern const IID IID_DAODBEngine;
extern const IID IID_DAOIndexFields;
extern const IID IID_DAOField;
extern const IID IID_DAORecordset;

// Field types, as the engine numbers them.
enum : int16_t {
    dbBoolean = 1,
    dbLong = 4,
    dbCurrency = 5,
    dbDouble = 7,
    dbDate = 8,
    dbText = 10,
    dbMemo = 12,
    dbTime = 22,
};

// Field attributes.
constexpr int32_t dbFixedField = 0x1;
constexpr int32_t dbVariableField = 0x2;

// Recordset types and options.
constexpr int16_t dbOpenDynaset = 2;
constexpr int16_t dbOpenSnapshot = 4;
constexpr int16_t dbOpenForwardOnly = 8;
constexpr int32_t dbAppendOnly = 8;

struct DAODBEngine : IUnknown {
    virtual HRESULT get_Errors(DAOErrors** out) = 0;
    // exclusive and read_only are VT_BOOL, connect a VT_BSTR such as
    // "Excel 8.0; HDR=No; IMEX=1;".
    virtual HRESULT OpenDatabase(BSTR name, VARIANT exclusive, VARIANT read_only, VARIANT connect,
                                 DAODatabase** out) = 0;
    virtual HRESULT CreateDatabase(BSTR name, BSTR locale, VARIANT option, DAODatabase** out) = 0;
};

struct DAOErrors : IUnknown {
    virtual HRESULT get_Count(int16_t* out) = 0;
    virtual HRESULT get_Item(VARIANT index, DAOError** out) = 0;
};

struct DAOError : IUnknown {
    virtual HRESULT get_Number(int32_t* out) = 0;
    virtual HRESULT get_Description(BSTR* out) = 0;
};

struct DAODatabase : IUnknown {
    virtual HRESULT get_TableDefs(DAOTableDefs** out) = 0;
    virtual HRESULT get_QueryDefs(DAOQueryDefs** out) = 0;
    virtual HRESULT get_Relations(DAORelations** out) = 0;
    // An empty name makes a temporary query, which is not saved.
    virtual HRESULT CreateQueryDef(VARIANT name, VARIANT sql, _DAOQueryDef** out) = 0;
    virtual HRESULT CreateTableDef(VARIANT name, VARIANT attributes, VARIANT source, VARIANT connect,
                                   _DAOTableDef** out) = 0;
    virtual HRESULT CreateRelation(VARIANT name, VARIANT table, VARIANT foreign_table, VARIANT attributes,
                                   _DAORelation** out) = 0;
    virtual HRESULT Close() = 0;
};

struct DAOTableDefs : IUnknown {
    virtual HRESULT get_Count(int16_t* out) = 0;
    virtual HRESULT get_Item(VARIANT index, _DAOTableDef** out) = 0;
    virtual HRESULT Append(IUnknown* object) = 0;
    virtual HRESULT Delete(BSTR name) = 0;
};

struct DAOQueryDefs : IUnknown {
    virtual HRESULT get_Count(int16_t* out) = 0;
    virtual HRESULT get_Item(VARIANT index, _DAOQueryDef** out) = 0;
};

struct _DAOTableDef : IUnknown {
    virtual HRESULT get_Name(BSTR* out) = 0;
    virtual HRESULT get_Attributes(int32_t* out) = 0;
    virtual HRESULT get_RecordCount(int32_t* out) = 0;
    virtual HRESULT get_Fields(DAOFields** out) = 0;
    virtual HRESULT get_Indexes(DAOIndexes** out) = 0;
    virtual HRESULT CreateField(VARIANT name, VARIANT type, VARIANT size, _DAOField** out) = 0;
    virtual HRESULT CreateIndex(VARIANT name, _DAOIndex** out) = 0;
};

struct _DAOQueryDef : IUnknown {
    virtual HRESULT get_Name(BSTR* out) = 0;
    virtual HRESULT get_SQL(BSTR* out) = 0;
    virtual HRESULT get_Fields(DAOFields** out) = 0;
    virtual HRESULT OpenRecordset(VARIANT type, VARIANT options, DAORecordset** out) = 0;
};

struct DAORecordset : IUnknown {
    virtual HRESULT get_EOF(VARIANT_BOOL* out) = 0;
    virtual HRESULT get_BOF(VARIANT_BOOL* out) = 0;
    virtual HRESULT MoveFirst() = 0;
    virtual HRESULT MoveNext() = 0;
    virtual HRESULT MovePrevious() = 0;
    virtual HRESULT get_Fields(DAOFields** out) = 0;
    virtual HRESULT AddNew() = 0;
    virtual HRESULT Update(int32_t type, VARIANT_BOOL force) = 0;
    // The current row's value of the field named or numbered by item.
    virtual HRESULT get_Collect(VARIANT item, VARIANT* out) = 0;
    virtual HRESULT put_Collect(VARIANT item, VARIANT value) = 0;
    virtual HRESULT Close() = 0;
};

struct DAOFields : IUnknown {
    virtual HRESULT get_Count(int16_t* out) = 0;
    virtual HRESULT get_Item(VARIANT index, _DAOField** out) = 0;
    virtual HRESULT Append(IUnknown* object) = 0;
};

struct _DAOField : IUnknown {
    virtual HRESULT get_Name(BSTR* out) = 0;
    virtual HRESULT get_Type(int16_t* out) = 0;
    virtual HRESULT get_Size(int32_t* out) = 0;
    // The current row's value; a field of a table definition has none.
    virtual HRESULT get_Value(VARIANT* out) = 0;
    virtual HRESULT get_Attributes(int32_t* out) = 0;
    virtual HRESULT put_Attributes(int32_t value) = 0;
    virtual HRESULT get_Required(VARIANT_BOOL* out) = 0;
    virtual HRESULT put_Required(VARIANT_BOOL value) = 0;
    virtual HRESULT get_DefaultValue(VARIANT* out) = 0;
    virtual HRESULT put_DefaultValue(VARIANT value) = 0;
    virtual HRESULT get_AllowZeroLength(VARIANT_BOOL* out) = 0;
    virtual HRESULT put_AllowZeroLength(VARIANT_BOOL value) = 0;
    virtual HRESULT get_ForeignName(BSTR* out) = 0;
    virtual HRESULT put_ForeignName(BSTR value) = 0;
    virtual HRESULT get_Properties(DAOProperties** out) = 0;
};

struct DAOIndexes : IUnknown {
    virtual HRESULT get_Count(int16_t* out) = 0;
    virtual HRESULT get_Item(VARIANT index, _DAOIndex** out) = 0;
    virtual HRESULT Append(IUnknown* object) = 0;
};

struct _DAOIndex : IUnknown {
    virtual HRESULT get_Name(BSTR* out) = 0;
    virtual HRESULT get_Primary(VARIANT_BOOL* out) = 0;
    virtual HRESULT put_Primary(VARIANT_BOOL value) = 0;
    virtual HRESULT get_Unique(VARIANT_BOOL* out) = 0;
    virtual HRESULT put_Unique(VARIANT_BOOL value) = 0;
    virtual HRESULT get_Foreign(VARIANT_BOOL* out) = 0;
    // A VARIANT holding the index's fields object (DAOIndexFields).
    virtual HRESULT get_Fields(VARIANT* out) = 0;
    virtual HRESULT CreateField(VARIANT name, VARIANT type, VARIANT size, _DAOField** out) = 0;
};

struct DAOIndexFields : IUnknown {
    virtual HRESULT get_Count(int16_t* out) = 0;
    // A VARIANT holding the field object.
    virtual HRESULT get_Item(VARIANT index, VARIANT* out) = 0;
    virtual HRESULT Append(IUnknown* object) = 0;
};

struct DAOProperties : IUnknown {
    virtual HRESULT get_Item(VARIANT name, DAOProperty** out) = 0;
};

struct DAOProperty : IUnknown {
    virtual HRESULT get_Value(VARIANT* out) = 0;
};

struct DAORelations : IUnknown {
    virtual HRESULT Append(IUnknown* object) = 0;
};

struct _DAORelation : IUnknown {
    virtual HRESULT get_Fields(DAOFields** out) = 0;
    virtual HRESULT CreateField(VARIANT name, VARIANT type, VARIANT size, _DAOField** out) = 0;
};
