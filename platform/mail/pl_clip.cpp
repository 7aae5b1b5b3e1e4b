#include "platform/mail/pl_clip.hpp"

#include "platform/syserr/pl_syserr.hpp"

#include <atomic>
#include <cerrno>

namespace platform {

namespace {
std::atomic<clipboard_writer> writer_in_force{nullptr};
}

void set_clipboard_writer(clipboard_writer writer) { writer_in_force.store(writer); }

bool copy_to_clipboard(std::wstring_view text)
{
    const clipboard_writer writer = writer_in_force.load();
    if (writer == nullptr) {
        set_last_error(ENOSYS);
        return false;
    }
    return writer(text);
}

} // namespace platform
