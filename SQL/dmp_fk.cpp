// Foreign keys in a dump: for each relationship an index on the child's key
// columns unless the child was created with one, then the constraint, all
// with foreign-key checks off, under LOCK TABLES when the dump locks tables.
#include "SQL/sql_dump.hpp"

#include "SQL/sql_engi.hpp"
#include "TK/tk_log.hpp"
#include "UDB/udb_vali.hpp"

std::wstring dmp_database::mapped_columns(const std::wstring& table, const std::vector<std::wstring>& fields) const
{
    std::wstring columns;
    for (const std::wstring& field : fields) {
        tk_logger::wlog(1, L"udb_names_map::get_fn_mapped_name(%s,%s)", table.c_str(), field.c_str());
        if (!columns.empty())
            columns += L", ";
        columns += sql_engine::get_safe_name(names_map.get_fn_mapped_name(table, field, true));
    }
    return columns;
}

void dmp_database::create_relationships(const udb_relationships& relationships)
{
    tk_logger::log(2, "dmp_database::create_relationships(rels.size=%d)", static_cast<int>(relationships.size()));
    sql_engine& engine = sql_engine::instance();
    if (!options.b_new_ver) {
        tk_logger::log(3, "This version of MySQL (%08X) doesn't support Foreign Keys", engine.get_version());
        return;
    }
    unlock_tables("dmp_database::create_relationships - right before unlock tables");
    write_line("");
    write_line("SET FOREIGN_KEY_CHECKS = 0;");
    const std::unique_ptr<udb_validator> validator = engine.create_in_validator(udb_indexes());
    for (const udb_relationship& relationship : relationships) {
        const std::wstring child = names_map.get_tn_mapped_name(relationship.child_table, false);
        const std::wstring parent = names_map.get_tn_mapped_name(relationship.parent_table, false);
        tk_logger::wlog(2, L"Processing FK '%s', properties=%s", relationship.name.c_str(),
                        relationship.properties.c_str());
        const std::wstring quoted_child = sql_engine::get_safe_name(child);
        const std::wstring quoted_parent = sql_engine::get_safe_name(parent);

        const auto recorded = table_indexes.find(child);
        if (recorded != table_indexes.end() && recorded->second.has_index_on_fields(relationship.fk_flds, false)) {
            tk_logger::wlog(2, L"Child index for table '%s' exists", child.c_str());
        } else {
            if (options.b_lock_write) {
                note_lock({child});
                write_wline(L"LOCK TABLES " + quoted_child + L" WRITE;");
            }
            write_wline(L"ALTER TABLE " + quoted_child + L" ADD INDEX (" +
                        mapped_columns(child, relationship.fk_flds) + L");");
        }
        if (options.b_lock_write) {
            if (parent != child) {
                note_lock({child, parent});
                write_wline(L"LOCK TABLES " + quoted_child + L" WRITE, " + quoted_parent + L" WRITE;");
            } else {
                note_lock({child});
                write_wline(L"LOCK TABLES " + quoted_child + L" WRITE;");
            }
        }

        std::wstring constraint = relationship.name;
        if (!validator->is_acceptable(constraint)) {
            constraint = validator->get_safe_name(constraint);
            tk_logger::wlog(2, L"Store generated index name '%s'", constraint.c_str());
            tk_logger::wlog(1, L"udb_validator::add_existing_name(%s)", constraint.c_str());
            validator->add_existing_name(constraint);
        }
        // A later relationship of the same name must get another one.
        validator->restricted_names.push_back(constraint);

        std::wstring statement = L"ALTER TABLE " + quoted_child + L" ADD CONSTRAINT " +
                                 sql_engine::get_safe_name(constraint) + L" FOREIGN KEY(" +
                                 mapped_columns(child, relationship.fk_flds) + L") REFERENCES " + quoted_parent +
                                 L"(" + mapped_columns(parent, relationship.pk_flds) + L")";
        if (!relationship.properties.empty())
            statement += L" " + relationship.properties;
        write_wline(statement + L";");
    }
    write_line("SET FOREIGN_KEY_CHECKS = 1;");
}
