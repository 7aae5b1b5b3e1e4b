// Mailing an internal-error report to the maker's support mailbox through
// the user's mail program (platform/mail). Nothing is reported to the user:
// a report that cannot be handed over is only logged.
#pragma once

#include <string>

// Where reports go.
inline constexpr const char tk_support_mailbox[] = "tessaline-support@example.invalid";

// The subject becomes "Bug report on " followed by `subject`.
void tk_send_bug(const std::string& subject, const std::string& body);
