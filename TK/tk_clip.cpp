#include "TK/tk_clip.hpp"

#include "TK/tk_log.hpp"
#include "platform/mail/pl_clip.hpp"
#include "platform/syserr/pl_syserr.hpp"

void tk_copy_to_clipboard2(const std::wstring& text)
{
    tk_logger::wlog(2, L"tk_copy_to_clipboard2(%s)", text.c_str());
    if (platform::copy_to_clipboard(text))
        tk_logger::log(2, "OpenClipboard succeeded");
    else
        tk_logger::log(2, "GetLastError() returns %08X", platform::last_error());
}
