// The operations that change a DAO database: creating a table from a schema
// and its indexes, deleting a table, creating the foreign keys. A workbook
// is only read: the engine refuses these on it.
#include "DAO/dao_db.hpp"

#include "DAO/dao_rec.hpp"
#include "DAO/dao_tdef.hpp"
#include "DAO/dao_util.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_rprt.hpp"
#include "platform/text/pl_case.hpp"

#include <algorithm>

namespace {

constexpr uint32_t mode_append = 0x08;
constexpr uint32_t open_read = 1;
constexpr uint32_t open_append = 2;
constexpr int32_t update_cascade = 0x100;
constexpr int32_t delete_cascade = 0x1000;

bool contains_no_case(const std::wstring& text, const std::wstring& words)
{
    return dao_find_nocase(text, words, 0) != -1;
}

// The relation attributes that keep a rule text's cascades. Other actions
// than cascading or refusing have no attribute: false when the rule holds one.
bool relation_attributes(const std::wstring& rule, int32_t& attributes)
{
    attributes = (contains_no_case(rule, L"ON DELETE CASCADE") ? delete_cascade : 0) |
                 (contains_no_case(rule, L"ON UPDATE CASCADE") ? update_cascade : 0);
    return !contains_no_case(rule, L"SET NULL") && !contains_no_case(rule, L"SET DEFAULT");
}

template <class Owner> ole_com_ptr<_DAOField> key_field(Owner* owner, const std::wstring& name, int16_t type, int32_t size)
{
    ole_com_ptr<_DAOField> field;
    dao_check(owner->CreateField(ole_variant(name).get_variant(), ole_variant(static_cast<int>(type)).get_variant(),
                                 ole_variant(static_cast<int>(size)).get_variant(), field.address()),
              field);
    return field;
}

// A column of the table: its descriptor, or a level-0 failure naming it.
const t_ftd& schema_column(const udb_recordset& table, const std::wstring& name)
{
    const t_ftd& column = table.schema.get_field1(name);
    if (column.name.empty())
        throw tk_exception(L"Field '" + name + L"' not found", 0);
    return column;
}

} // namespace

std::unique_ptr<udb_recordset> dao_database::create_table(const std::wstring& table, const udb_schema& schema,
                                                          const udb_indexes& indexes)
{
    tk_logger::wlog(2, L"dao_database::create_table (%s)", table.c_str());
    if (mode & mode_read_only)
        throw tk_mail_assertion("dao_db", 153);
    if (is_table_exist(table)) {
        if (mode & mode_append)
            return get_table(table, mode_append);
        throw tk_mail_assertion("dao_db", 159);
    }
    ole_com_ptr<_DAOTableDef> definition;
    dao_check(database->CreateTableDef(ole_variant(table).get_variant(), ole_variant(0).get_variant(),
                                       ole_variant(L"").get_variant(), ole_variant(L"").get_variant(),
                                       definition.address()),
              definition);
    dao_schema_initializer columns(definition.get(), schema);
    columns.initialize();
    dao_indexes_initializer keys(definition.get(), columns, indexes);
    keys.initialize();
    tk_logger::log(1, "Right before Append");
    dao_call(table_defs->Append(definition.get()));
    definition.release();
    tables.push_back(table);
    names_map.add_fn_map(table, columns.names_map());
    return get_table(table, open_append);
}

// A table that does not exist is not deleted: false, as the base answers.
bool dao_database::delete_tab(const std::wstring& table)
{
    tk_logger::wlog(1, L"dao_database::delete_tab(%s)", table.c_str());
    if (mode & mode_read_only)
        throw tk_mail_assertion("dao_db", 203);
    if (!is_table_exist(table))
        return false;
    const dao_bstr name(table);
    dao_call(table_defs->Delete(name));
    return udb_database::delete_tab(table);
}

void dao_database::create_relationships(const udb_relationships& list)
{
    tk_logger::log(2, "dao_database::create_relationships");
    if (mode == mode_append) {
        tk_logger::log(3, "Foreign keys are not converted in append mode");
        return;
    }
    ole_com_ptr<DAORelations> relations;
    dao_check(database->get_Relations(relations.address()), relations);
    for (const udb_relationship& relationship : list) {
        try {
            create_relationship(relationship, relations.get());
        } catch (const tk_exception& e) {
            tk_logger::log(2, "ERROR:\n%s", e.what());
            tk_reporter& reporter = tk_reporter::current();
            reporter.set_context(relationship.name);
            reporter.handle(e, false);
        }
    }
}

// A field of a table as its column is named now: the field's own name when
// a column has exactly that name, else the name the table's creation gave it
// (matched exactly, then ignoring case).
std::wstring dao_database::column_name(const std::wstring& table, const udb_recordset& opened,
                                       const std::wstring& field) const
{
    const std::wstring exact = names_map.get_fn_mapped_name(table, field, true);
    if (exact != field)
        return exact;
    for (const auto& column : opened.schema)
        if (column->name == field)
            return field;
    return names_map.get_fn_mapped_name(table, field, false);
}

// The parent's key needs a unique index of its own: the first index over
// the key's columns, when it is unique, else a new one, its name free among
// the parent's indexes.
ole_com_ptr<_DAOIndex> dao_database::unique_index_for(const std::wstring& parent, const udb_recordset& opened,
                                                      const std::vector<std::wstring>& columns)
{
    auto first = std::find_if(opened.indexes.begin(), opened.indexes.end(),
                              [&](const udb_index& index) { return index.starts_with_fields(columns); });
    tk_logger::log(1, "udb_indexes::has_index_on_fields");
    if (first != opened.indexes.end() && (first->unique || first->primary))
        return {};
    tk_logger::wlog(2, L"Table %s does not have unique index on FK columns, add it", parent.c_str());
    std::wstring name = gen_ui_name(parent);
    for (int n = 1; !opened.indexes.is_acceptable_name(name); ++n) {
        const std::wstring suffix = L"_" + std::to_wstring(n);
        name = gen_ui_name(parent).substr(0, 64 - suffix.size()) + suffix;
    }
    tk_logger::wlog(2, L"Gen.name=%s", name.c_str());
    ole_com_ptr<_DAOTableDef> definition;
    dao_check(table_defs->get_Item(ole_variant(parent).get_variant(), definition.address()), definition);
    ole_com_ptr<_DAOIndex> index;
    dao_check(definition->CreateIndex(ole_variant(name).get_variant(), index.address()), index);
    tk_logger::log(2, "Step #1");
    dao_value object;
    dao_call(index->get_Fields(&object.v));
    ole_com_ptr<DAOIndexFields> fields;
    if (object.v.punkVal != nullptr)
        object.v.punkVal->QueryInterface(IID_DAOIndexFields, reinterpret_cast<void**>(fields.address()));
    if (fields.empty())
        throw tk_exception(1);
    tk_logger::log(2, "Step #2");
    for (const std::wstring& column : columns) {
        tk_logger::wlog(2, L"\tProcess unique index field %s", column.c_str());
        const t_ftd& described = schema_column(opened, column);
        dao_call(fields->Append(key_field(index.get(), column, dao_field::get_native_type(described),
                                          static_cast<int32_t>(described.size)).get()));
    }
    dao_call(index->put_Primary(VARIANT_FALSE));
    dao_call(index->put_Unique(VARIANT_TRUE));
    return index;
}

void dao_database::create_relationship(const udb_relationship& relationship, DAORelations* relations)
{
    tk_logger::wlog(3, L"Processing '%s'", relationship.name.c_str());
    if (relationship.fk_flds.size() != relationship.pk_flds.size())
        throw tk_exception(L"Foreign key '" + relationship.name + L"' has " +
                               std::to_wstring(relationship.fk_flds.size()) + L" columns but its key has " +
                               std::to_wstring(relationship.pk_flds.size()) + L".",
                           0);
    const std::wstring parent = names_map.get_tn_mapped_name(relationship.parent_table, false);
    const std::wstring child = names_map.get_tn_mapped_name(relationship.child_table, false);
    for (const std::wstring& table : {parent, child})
        if (!is_table_exist(table))
            throw tk_exception(L"Table '" + table + L"' not exists", 0);
    std::unique_ptr<udb_recordset> parent_table = get_table(parent, open_read);
    const std::unique_ptr<udb_recordset> child_table = get_table(child, open_read);
    std::vector<std::wstring> key, foreign;
    for (size_t i = 0; i < relationship.pk_flds.size(); ++i) {
        key.push_back(column_name(parent, *parent_table, relationship.pk_flds[i]));
        foreign.push_back(column_name(child, *child_table, relationship.fk_flds[i]));
    }
    const ole_com_ptr<_DAOIndex> added = unique_index_for(parent, *parent_table, key);
    int32_t attributes = 0;
    const bool rule_kept = relation_attributes(relationship.properties, attributes);
    tk_logger::log(2, "Step #3");
    ole_com_ptr<_DAORelation> relation;
    dao_check(database->CreateRelation(ole_variant(relationship.name).get_variant(), ole_variant(parent).get_variant(),
                                       ole_variant(child).get_variant(), ole_variant(attributes).get_variant(),
                                       relation.address()),
              relation);
    tk_logger::log(2, "Step #4");
    ole_com_ptr<DAOFields> fields;
    dao_check(relation->get_Fields(fields.address()), fields);
    for (size_t i = 0; i < key.size(); ++i) {
        tk_logger::wlog(1, L"Adding fields (%s,%s)", foreign[i].c_str(), key[i].c_str());
        const t_ftd& described = schema_column(*parent_table, key[i]);
        const ole_com_ptr<_DAOField> field = key_field(relation.get(), key[i], dao_field::get_native_type(described), 0);
        const dao_bstr foreign_name(foreign[i]);
        dao_call(field->put_ForeignName(foreign_name));
        dao_call(fields->Append(field.get()));
    }
    parent_table.reset();
    if (!added.empty())
        append_index(parent, added.get());
    dao_call(relations->Append(relation.get()));
    if (!rule_kept)
        throw tk_exception(L"The rule '" + relationship.properties + L"' of foreign key '" + relationship.name +
                               L"' cannot be kept: the relationship was created without it.",
                           0);
}

void dao_database::append_index(const std::wstring& table, _DAOIndex* index)
{
    ole_com_ptr<_DAOTableDef> definition;
    dao_check(table_defs->get_Item(ole_variant(table).get_variant(), definition.address()), definition);
    ole_com_ptr<DAOIndexes> indexes;
    dao_check(definition->get_Indexes(indexes.address()), indexes);
    dao_call(indexes->Append(index));
}
