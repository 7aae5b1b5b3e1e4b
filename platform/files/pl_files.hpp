// File-system services of the platform layer. Paths are UTF-8. Failing calls
// leave their errno value as the platform's last error (pl_syserr.hpp).
#pragma once

#include <cstdint>
#include <optional>
#include <functional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace platform {

// The running program's own full path (UTF-8), read from the proc file
// system's link to the executable; empty, with the last error set, when the
// link cannot be read.
std::string module_file_name();

// The four parts of an absolute path. There are no drive letters here, so
// `drive` is always empty; `dir` begins and ends with '/'.
struct path_parts {
    std::string drive;
    std::string dir;
    std::string name;  // without its extension
    std::string ext;   // with its dot, or empty
};

// Makes `path` absolute against the current directory, with "." and ".."
// resolved by name, and splits it. False, with the last error set, when the
// current directory cannot be read.
bool split_full_path(const std::string& path, path_parts& parts);
// Joins the parts again; a missing separator after the folder and a missing
// dot before the extension are supplied.
std::string join_path(const path_parts& parts);

// What the system asks of a path before it touches it. Read-only stands for
// the platform's read-only attribute: no write permission bit is set at all,
// or the effective user may not write the file.
struct file_status {
    bool directory = false;
    bool read_only = false;
};
// False, with the last error set, when the path does not exist or cannot be
// examined.
bool get_file_status(const std::string& path, file_status& status);

// access(2) for the effective user and group, never changing the current
// directory. `mode` combines R_OK, W_OK and X_OK.
bool has_access(const std::string& path, int mode);

// Creates the file, or empties an existing one; false with the last error set.
bool create_or_truncate(const std::string& path);

// Creates a new file next to `target`, named after it with a unique part
// and `suffix` ("<target>.~<pid>.<n><suffix>"), exclusively: never a file
// or link that exists, so two writers never share one. Answers the open
// descriptor for writing and its name in `created`, or -1 with errno set.
int create_exclusive(const std::string& target, std::string_view suffix, std::string& created);

// Writes `content` as the whole new content of `path`: into a temporary file
// of the same folder, flushed to disk, then renamed over the old file, so a
// failure (a full disk among them) leaves the old file whole. The new file
// gets `mode` when one is given; otherwise it keeps the mode of the file it
// replaces, and a new file gets the usual 0666 less the umask. A path that
// names something other than a regular file (a device, a pipe) cannot be
// replaced and is written in place. A symbolic link is followed, so the link
// stays. False, with the last error set, when any step fails.
bool replace_file(const std::string& path, std::string_view content, std::optional<mode_t> mode = std::nullopt);

// What a path names now (links followed): the file's identity, whether it
// is a plain file, and its size and modification time. False, with the last
// error set, when the path does not exist or cannot be examined.
struct file_stamp {
    uint64_t device = 0;
    uint64_t inode = 0;
    bool regular = false;
    int64_t size = 0;
    int64_t modified_ns = 0;  // since the epoch
    bool operator==(const file_stamp&) const = default;
};
bool get_file_stamp(const std::string& path, file_stamp& stamp);

// Reads `source` to its end once (a pipe or a device is read as it comes)
// into a new file that only the user may read, in the temporary folder; its
// name in `copy`. A line (bytes between CR or LF) longer than `max_line`
// bytes ends the copy after max_line + 1 of its bytes: an endless source
// without line ends (a device of zeros) cannot fill the disk, and whoever
// reads the copy meets the line too long. False, with the last error set,
// when any step fails; no partial copy is left then. `stopped`, when given,
// is asked every 100 ms while the source has nothing to give (a named pipe
// that no writer opened yet, a writer that is silent): true ends the copy
// (false, ECANCELED), so a waiting run can always be stopped.
bool copy_to_temporary(const std::string& source, int64_t max_line, std::string& copy,
                       const std::function<bool()>& stopped = {});

} // namespace platform
