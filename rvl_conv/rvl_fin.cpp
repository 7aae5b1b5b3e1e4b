#include "rvl_conv/rvl_fin.hpp"

#include "SQL/sql_dump.hpp"
#include "SQL/sql_tab.hpp"
#include "rvl_conv/rvl_errh.hpp"

void close_destination(std::unique_ptr<udb_database> database)
{
    if (auto* dump = dynamic_cast<dmp_database*>(database.get()))
        dump->close();
}

void flush_rows(udb_recordset* table)
{
    auto* server_table = dynamic_cast<sql_table*>(table);
    if (server_table == nullptr)
        return;
    try {
        server_table->flush();
    } catch (const tk_exception& e) {
        error_handler::instance().set_context(server_table->name);
        error_handler::instance().handle(e, false);
    }
}
