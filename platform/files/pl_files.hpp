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
// or link that exists, so two writers never share one. Where that name
// would be longer than the folder allows, the target's own name is cut
// short (at a character's start), so every legal target has one. `mode`
// is given at creation, less the umask. Answers the open descriptor for
// writing and its name in `created`, or -1 with errno set.
int create_exclusive(const std::string& target, std::string_view suffix, std::string& created,
                     mode_t mode = 0666);

// Creates, as create_exclusive does, the new file that is to take the place
// of `path` once complete, and answers in `target` the name to rename it to.
// A path that is a symbolic link leads to the file it names: that file is
// the target, and the link stays. The new file of an existing plain file
// gets its mode and, as far as the process may give them, its owner and
// group; other links to the old file keep the old content.
int create_replacement(const std::string& path, std::string_view suffix, std::string& target, std::string& created);

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

// The folder of temporary files: TMPDIR, or /tmp when it is unset or empty.
std::string temporary_folder();

// Reads `source` to its end once (a pipe or a device is read as it comes)
// into a new file of the temporary folder that only the user may read. The
// file is removed from the folder as soon as it is created, so nothing is
// left behind however the process ends (a second signal, a kill, a crash):
// `copy` receives its open descriptor, which the caller owns and closes, and
// "/proc/self/fd/<n>" opens it anew. A line (bytes between CR or LF) longer
// than `max_line` bytes ends the copy after max_line + 1 of its bytes: an
// endless source without line ends (a device of zeros) cannot fill the disk,
// and whoever reads the copy meets the line too long. A failure sets the last
// error and tells which side failed; a signal that interrupts a blocked read
// of the source is a failure of the source (EINTR). `stopped`, when given,
// is asked every 100 ms while the source has nothing to give (a named pipe
// that no writer opened yet, a writer that is silent): true ends the copy
// as a failure of the source (ECANCELED), so a waiting run can always be
// stopped.
enum class copy_failure { none, source, copy };
copy_failure copy_to_temporary(const std::string& source, int64_t max_line, int& copy,
                               const std::function<bool()>& stopped = {});

} // namespace platform
