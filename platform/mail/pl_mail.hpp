// Handing a message to the user's mail program. By default the desktop's
// "xdg-email" opens a new message in the user's mail client; a front end may
// put a sender of its own in its place.
#pragma once

#include <string>

namespace platform {

struct mail_message {
    std::string subject;
    std::string body;
    std::string recipient;  // one address
    std::string date;       // when the report was written, or empty
};

// Answers 0 when the mail program took the message, else a failure number.
using mail_sender = int (*)(const mail_message& message);

// Puts `sender` in place of the default; null brings the default back.
void set_mail_sender(mail_sender sender);
// The sender in force; null when it is the default and no "xdg-email" is on
// the search path.
mail_sender find_mail_sender();

// The default sender: runs "xdg-email" with the message's parts as separate
// arguments (never through a shell, so no text of the message is ever run)
// and answers its exit status, or the errno value when it cannot be started.
int send_with_xdg_email(const mail_message& message);

} // namespace platform
