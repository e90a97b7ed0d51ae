#include "mail/SignInAdvice.h"

#include <algorithm>
#include <string_view>

namespace corvane::mail {

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// std::search rather than std::ranges::search: clang 14, which builds the fuzz targets, cannot
// compile the latter against GCC 12's library.
bool ContainsNoCase(std::string_view text, std::string_view words) {
    return std::search(text.begin(), text.end(), words.begin(), words.end(),
                       [](char a, char b) { return Lower(a) == Lower(b); }) != text.end();
}

struct TAdvice {
    // Every one of these must be in the reply.
    std::vector<std::string_view> Words;
    std::string_view Sentence;
};

// The providers' texts as their servers send them; a reply may put them on any of its
// lines (Google splits its own over two).
const std::vector<TAdvice>& KnownRefusals() {
    static const std::vector<TAdvice> refusals{
        // Microsoft 365 with sign-in by password switched off for the organisation.
        {{"5.7.30 Basic authentication is not supported"},
         "This server takes no password: choose OAuth2 sign-in in the server settings."},
        // Microsoft 365 with SMTP sign-in switched off for the mailbox or the organisation.
        {{"5.7.139", "SmtpClientAuthentication is disabled"},
         "Ask the administrator to enable SMTP sign-in (SMTP AUTH) for this mailbox."},
        // Google, for an account with two-step verification.
        {{"Application-specific password required"},
         "Create an app password in the Google account and use it in place of the password."},
    };
    return refusals;
}

}  // namespace

std::string SignInAdvice(const std::vector<std::string>& replyLines) {
    std::string reply;
    for (const std::string& line : replyLines) {
        reply.append(line).append(1, '\n');
    }
    for (const TAdvice& advice : KnownRefusals()) {
        if (std::ranges::all_of(advice.Words, [&reply](std::string_view words) { return ContainsNoCase(reply, words); })) {
            return std::string(advice.Sentence);
        }
    }
    return {};
}

}  // namespace corvane::mail
