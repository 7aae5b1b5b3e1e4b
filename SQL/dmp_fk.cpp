// Foreign keys in a dump: for each relationship an index on the child's key
// columns unless the child was created with one, then the constraint, all
// with foreign-key checks off, under LOCK TABLES when the dump locks tables.
#include "SQL/sql_dump.hpp"

#include "SQL/sql_engi.hpp"
#include "SQL/sql_fkb.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_rprt.hpp"
#include "UDB/udb_vali.hpp"
#include "platform/text/pl_case.hpp"

namespace {

// Why a relationship cannot be written so that the dump loads; empty when
// it can.
std::wstring unwritable(const udb_relationship& relationship)
{
    if (relationship.fk_flds.size() != relationship.pk_flds.size())
        return L"Foreign key '" + relationship.name + L"' has " + std::to_wstring(relationship.fk_flds.size()) +
               L" columns but its key has " + std::to_wstring(relationship.pk_flds.size()) + L".";
    if (!sql_fk_is_rule(relationship.properties))
        return L"Foreign key rule '" + relationship.properties + L"' is not a referential action.";
    return {};
}

} // namespace

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
        const std::wstring reason = unwritable(relationship);
        if (!reason.empty()) {
            tk_logger::wlog(3, L"Skip FK: %s", reason.c_str());
            tk_reporter& reporter = tk_reporter::current();
            reporter.set_context(L"Foreign key '" + relationship.name + L"'");
            reporter.handle(tk_exception(reason, 0), false);
            continue;
        }

        const auto recorded = table_indexes.find(child);
        if (recorded != table_indexes.end() && recorded->second.has_index_on_fields(relationship.fk_flds, false)) {
            tk_logger::wlog(2, L"Child index for table '%s' exists", child.c_str());
        } else {
            if (options.b_lock_write) {
                note_lock({child});
                write_wline(sql_fk_lock_statement(child, child) + L";");
            }
            write_wline(sql_fk_index_statement(names_map, child, relationship.fk_flds) + L";");
        }
        if (options.b_lock_write) {
            if (platform::equal_no_case(child, parent))
                note_lock({child});
            else
                note_lock({child, parent});
            write_wline(sql_fk_lock_statement(child, parent) + L";");
        }

        const std::wstring constraint = sql_fk_constraint_name(*validator, relationship.name);
        write_wline(sql_fk_constraint_statement(names_map, relationship, child, parent, constraint) + L";");
    }
    write_line("SET FOREIGN_KEY_CHECKS = 1;");
}
