#include "mail/SignInAdvice.h"

#include <gtest/gtest.h>

namespace corvane::mail {
namespace {

TEST(SignInAdvice, NamesWhatToDoForEachProvidersRefusalAndNothingForAWrongPassword) {
    struct TCase {
        const char* Name;
        std::vector<std::string> Reply;
        std::string Advice;
    };
    const std::vector<TCase> cases{
        {"BasicAuthenticationOff",
         {"535 5.7.30 Basic authentication is not supported for Client Submission."},
         "This server takes no password: choose OAuth2 sign-in in the server settings."},
        {"SmtpAuthDisabled",
         {"535 5.7.139 Authentication unsuccessful, SmtpClientAuthentication is disabled for the Tenant. "
          "Visit https://aka.ms/smtp_auth_disabled for more information."},
         "Ask the administrator to enable SMTP sign-in (SMTP AUTH) for this mailbox."},
        // The words are on the first line; the last, which the engine keeps, has only a link.
        {"AppPasswordRequired",
         {"534-5.7.9 Application-specific password required. Learn more at",
          "534 5.7.9  https://support.google.com/mail/?p=InvalidSecondFactor"},
         "Create an app password in the Google account and use it in place of the password."},
        {"WrongPassword", {"535 5.7.8 Authentication credentials invalid"}, ""},
        // One of the two signs alone is not Microsoft's switched-off SMTP sign-in.
        {"OnlyTheCode", {"535 5.7.139 Authentication unsuccessful, the user credentials were incorrect."}, ""},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(SignInAdvice(row.Reply), row.Advice);
    }
}

}  // namespace
}  // namespace corvane::mail
