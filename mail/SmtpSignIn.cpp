// Signing in once the connection is encrypted (RFC 4954): AUTH PLAIN (RFC 4616) or LOGIN
// with a password.

#include <string.h>  // explicit_bzero

#include "mail/Base64.h"
#include "mail/SignInAdvice.h"
#include "mail/WrenEmail.h"

namespace corvane::mail {

namespace {

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

std::string TWrenSMTP::SignInMechanism() const {
    if (m_capabilities.OffersAuth("PLAIN")) {
        return "PLAIN";
    }
    if (m_capabilities.OffersAuth("LOGIN")) {
        return "LOGIN";
    }
    return {};
}

bool TWrenSMTP::SecretCommand(std::string line, std::string_view expectedCode) {
    const bool ok = SendText(line, SendTimeout) && HandleSocketStatus(m_writer.FlushAndWipe(SendTimeout));
    Wipe(line);
    if (!ok || ReadReply(CommandTimeout) != EReadOutcome::Reply || Stopped()) {
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
    // Whatever the server offers, a password never crosses a plain connection.
    if (!m_socket->IsEncrypted()) {
        Fail(ErrorSignIn, "Signing in to " + Host + " needs encryption: choose STARTTLS or SSL/TLS.");
        return false;
    }
    const std::string mechanism = SignInMechanism();
    if (mechanism.empty()) {
        Fail(ErrorSignIn, "The mail server " + Host + " offers no way of signing in that Corvane knows (PLAIN, LOGIN).");
        return false;
    }
    if (OnSignIn) {
        OnSignIn(*this);
    }
    if (mechanism == "PLAIN") {
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

}  // namespace corvane::mail
