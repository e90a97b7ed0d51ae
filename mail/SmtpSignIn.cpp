// Signing in once the connection is encrypted (RFC 4954): AUTH PLAIN (RFC 4616) or LOGIN
// with a password, XOAUTH2 or OAUTHBEARER (RFC 7628) with an OAuth 2.0 access token.

#include <string.h>  // explicit_bzero

#include <algorithm>
#include <array>

#include "mail/Base64.h"
#include "mail/MailText.h"
#include "mail/OAuthSasl.h"
#include "mail/ScreenText.h"
#include "mail/SignInAdvice.h"
#include "mail/WrenEmail.h"

namespace corvane::mail {

namespace {

// RFC 5321 section 4.5.3.1.4, which RFC 4954 section 4 keeps for the AUTH line: 512 octets
// with its CR LF.
constexpr std::size_t MaxCommandLineLength = 512;

// Credentials must not outlive their use in memory we own (a core dump, a swap file).
void Wipe(std::string& secret) {
    explicit_bzero(secret.data(), secret.size());
    secret.clear();
}

// Prefix, the Base64 of Secret and CR LF, built in one buffer reserved to its final size:
// growing would leave copies of the credentials in freed memory that no wipe reaches.
std::string CredentialLine(std::string_view prefix, std::string_view secret) {
    std::string line;
    line.reserve(prefix.size() + Base64EncodedLength(secret.size()) + 2);
    line.append(prefix);
    const std::size_t at = line.size();
    line.resize(at + Base64EncodedLength(secret.size()));
    EncodeBase64(reinterpret_cast<const std::uint8_t*>(secret.data()), secret.size(), line.data() + at);
    line.append("\r\n");
    return line;
}

// Text, then Sentence after it as a sentence of its own.
void AppendSentence(std::string& text, std::string_view sentence) {
    if (sentence.empty()) {
        return;
    }
    if (!text.empty()) {
        text += text.ends_with('.') ? " " : ". ";
    }
    text += sentence;
}

}  // namespace

std::string TWrenSMTP::ChooseSignInMechanism() const {
    // XOAUTH2 first: every provider that takes tokens offers it, OAUTHBEARER only some.
    static constexpr std::array<const char*, 2> ByPassword{"PLAIN", "LOGIN"};
    static constexpr std::array<const char*, 2> ByToken{"XOAUTH2", "OAUTHBEARER"};
    for (const char* mechanism : SignInKind == ESignInKind::OAuth2 ? ByToken : ByPassword) {
        if (m_capabilities.OffersAuth(mechanism)) {
            return mechanism;
        }
    }
    return {};
}

bool TWrenSMTP::SendSecret(std::string line) {
    const bool ok = SendText(line, SendTimeout) && HandleSocketStatus(m_writer.FlushAndWipe(SendTimeout));
    Wipe(line);
    return ok && ReadReply(CommandTimeout) == EReadOutcome::Reply && !Stopped();
}

bool TWrenSMTP::SecretCommand(std::string line, std::string_view expectedCode) {
    if (!SendSecret(std::move(line))) {
        return false;
    }
    if (ReplyCode == expectedCode) {
        return true;
    }
    SignInRefused();
    return false;
}

bool TWrenSMTP::SignInCommand(const std::string& line, std::string_view expectedCode) {
    if (!Exchange(line, CommandTimeout)) {
        return false;
    }
    if (ReplyCode == expectedCode) {
        return true;
    }
    SignInRefused();
    return false;
}

void TWrenSMTP::SignInRefused(std::string_view reason) {
    // The server's words first, then ours; the advice reads every line of the reply, as a
    // provider may put its words on one that ReplyText does not keep.
    AppendSentence(ReplyText, reason);
    AppendSentence(ReplyText, SignInAdvice(m_replies.Lines()));
    Refused();
}

bool TWrenSMTP::SignIn() {
    // Whatever the server offers, neither a password nor a token crosses a plain connection.
    if (!m_socket->IsEncrypted()) {
        Fail(ErrorSignIn, "Signing in to " + Host + " needs encryption: choose STARTTLS or SSL/TLS.");
        return false;
    }
    const bool byToken = SignInKind == ESignInKind::OAuth2;
    if (byToken && AccessToken.empty()) {
        Fail(ErrorSignIn, "There is no access token for signing in to " + Host + ".");
        return false;
    }
    SignInMechanism = ChooseSignInMechanism();
    if (SignInMechanism.empty()) {
        Fail(ErrorSignIn, byToken ? "The mail server " + Host + " offers no OAuth2 sign-in (XOAUTH2, OAUTHBEARER)."
                                  : "The mail server " + Host +
                                        " offers no way of signing in that Corvane knows (PLAIN, LOGIN).");
        return false;
    }
    if (OnSignIn) {
        OnSignIn(*this);
    }
    return byToken ? SignInWithToken() : SignInWithPassword();
}

bool TWrenSMTP::SignInWithPassword() {
    if (SignInMechanism == "PLAIN") {
        // RFC 4616: authzid NUL authcid NUL passwd, as the initial response (RFC 4954).
        std::string credentials;
        credentials.reserve(UserName.size() + Password.size() + 2);
        credentials.append(1, '\0').append(UserName).append(1, '\0').append(Password);
        std::string line = CredentialLine("AUTH PLAIN ", credentials);
        Wipe(credentials);
        return SecretCommand(std::move(line), "235");
    }
    return SignInCommand("AUTH LOGIN\r\n", "334") && SignInCommand(EncodeBase64(UserName) + "\r\n", "334") &&
           SecretCommand(CredentialLine("", Password), "235");
}

std::string TWrenSMTP::TokenResponse() const {
    return SignInMechanism == "OAUTHBEARER" ? OAuthBearerResponse(UserName, Host, PortNumber(Port), AccessToken)
                                            : XOAuth2Response(UserName, AccessToken);
}

bool TWrenSMTP::SignInWithToken() {
    const std::string command = "AUTH " + SignInMechanism;
    std::string response = TokenResponse();
    // The initial response saves a round trip, but the AUTH line keeps SMTP's limit: a
    // longer response (Microsoft's tokens run to kilobytes) follows the server's empty 334.
    const bool onAuthLine = command.size() + 1 + Base64EncodedLength(response.size()) + 2 <= MaxCommandLineLength;
    std::string line = CredentialLine(onAuthLine ? command + " " : "", response);
    Wipe(response);
    if (!onAuthLine && !SignInCommand(command + "\r\n", "334")) {
        Wipe(line);
        return false;
    }
    if (!SendSecret(std::move(line))) {
        return false;
    }
    if (ReplyCode == "235") {
        return true;
    }
    if (ReplyCode == "334") {
        return AnswerErrorChallenge();
    }
    // RFC 4954 section 6: 535 is credentials refused, which for a token means it has expired
    // or been revoked (Microsoft says so without an error challenge).
    TokenRefused = ReplyCode == "535";
    SignInRefused();
    return false;
}

bool TWrenSMTP::AnswerErrorChallenge() {
    // RFC 7628 sections 3.2.2 and 3.2.3: the server's 334 carries the error, and the exchange
    // ends only once the client answers it, with a lone ^A for OAUTHBEARER and, as Google
    // asks for XOAUTH2, an empty line; the final refusal comes after that. The whole line is
    // read: ReplyText keeps only its start.
    const std::string_view challenge = m_replies.Lines().back();
    const std::string status =
        ScreenSafe(OAuthErrorStatus(TrimBlanks(challenge.substr(std::min<std::size_t>(4, challenge.size())))));
    TokenRefused = true;
    if (!Exchange(SignInMechanism == "OAUTHBEARER" ? "AQ==\r\n" : "\r\n", CommandTimeout)) {
        return false;
    }
    SignInRefused(status.empty() ? "The access token was refused." : "The access token was refused (" + status + ").");
    return false;
}

}  // namespace corvane::mail
