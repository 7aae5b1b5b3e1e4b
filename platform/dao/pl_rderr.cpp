#include "platform/dao/pl_rderr.hpp"

namespace platform::dao {

read_error read_error::missing_file(const std::string& path)
{
    return read_error(not_found, "Could not find file '" + path + "'.");
}

read_error read_error::unreadable_file(const std::string& path)
{
    return read_error(cannot_open, "The database engine cannot open the file '" + path +
                                       "'. It is already opened exclusively by another user, or you need "
                                       "permission to view its data.");
}

read_error read_error::encrypted_file(const std::string& path)
{
    return read_error(encrypted, "Could not decrypt file. ('" + path + "' is protected by a password.)");
}

read_error read_error::not_expected_format(const std::string& path, const std::string& detail)
{
    return read_error(bad_format, "External table is not in the expected format. ('" + path + "': " + detail + ")");
}

} // namespace platform::dao
