#include "app/LayerTexts.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QtGlobal>
#include <vector>

namespace corvane::app {

namespace {

// Each exactly as its layer writes it, %1 and %2 where it puts a name, a number or a reason
// of its own (tools/check-layer-texts.py finds every part of each there). The reasons a
// connection failed stand after "HOST:PORT": with the colon and the full stop around them, so
// that the same words in a server's reply are left alone.
constexpr const char* Sentences[]{
    // sending
    QT_TRANSLATE_NOOP("LayerTexts", "Failed to connect the mail server."),
    QT_TRANSLATE_NOOP("LayerTexts", "Connection to the mail server was lost."),
    QT_TRANSLATE_NOOP("LayerTexts", "The mail server did not answer in time."),
    QT_TRANSLATE_NOOP("LayerTexts", "The mail server sent an invalid reply."),
    QT_TRANSLATE_NOOP("LayerTexts",
                      "The server did not confirm the message; it may have been delivered. Check before sending again."),
    QT_TRANSLATE_NOOP("LayerTexts", "There is not enough memory to compose the message."),
    QT_TRANSLATE_NOOP("LayerTexts", "The temporary folder %1 cannot hold the message: %2."),
    QT_TRANSLATE_NOOP("LayerTexts", "The server's settings can be found with Ctrl+Shift+S."),
    QT_TRANSLATE_NOOP("LayerTexts", "Invalid address: %1"),
    QT_TRANSLATE_NOOP("LayerTexts", "The mail server cannot take the address <%1>."),
    QT_TRANSLATE_NOOP("LayerTexts", "The message is %1 bytes; the server takes at most %2."),
    QT_TRANSLATE_NOOP("LayerTexts", "The attachments alone make the message %1 bytes; the server takes at most %2."),
    QT_TRANSLATE_NOOP("LayerTexts", "Line %1 of the text holds a NUL character; remove it and send again."),
    QT_TRANSLATE_NOOP("LayerTexts", "Line %1 of the signature holds a NUL character; remove it and send again."),
    // why a connection failed
    QT_TRANSLATE_NOOP("LayerTexts", ": no such host."),
    QT_TRANSLATE_NOOP("LayerTexts", ": the name could not be looked up."),
    QT_TRANSLATE_NOOP("LayerTexts", ": connection refused."),
    QT_TRANSLATE_NOOP("LayerTexts", ": network unreachable."),
    QT_TRANSLATE_NOOP("LayerTexts", ": host unreachable."),
    QT_TRANSLATE_NOOP("LayerTexts", ": timed out."),
    // encryption and signing in
    QT_TRANSLATE_NOOP("LayerTexts", "Encryption with %1 could not be started."),
    QT_TRANSLATE_NOOP("LayerTexts", "The certificate of %1 cannot be trusted: %2."),
    QT_TRANSLATE_NOOP("LayerTexts", "The mail server %1 does not offer STARTTLS."),
    QT_TRANSLATE_NOOP("LayerTexts", "The mail server %1 sent data before encryption started."),
    QT_TRANSLATE_NOOP("LayerTexts", "Signing in to %1 needs encryption: choose STARTTLS or SSL/TLS."),
    QT_TRANSLATE_NOOP("LayerTexts", "There is no access token for signing in to %1."),
    QT_TRANSLATE_NOOP("LayerTexts", "The mail server %1 offers no OAuth2 sign-in (XOAUTH2, OAUTHBEARER)."),
    QT_TRANSLATE_NOOP("LayerTexts", "The mail server %1 offers no way of signing in that Corvane knows (PLAIN, LOGIN)."),
    QT_TRANSLATE_NOOP("LayerTexts", "The access token was refused."),
    QT_TRANSLATE_NOOP("LayerTexts", "The access token was refused (%1)."),
    QT_TRANSLATE_NOOP("LayerTexts", "This server takes no password: choose OAuth2 sign-in in the server settings."),
    QT_TRANSLATE_NOOP("LayerTexts", "Ask the administrator to enable SMTP sign-in (SMTP AUTH) for this mailbox."),
    QT_TRANSLATE_NOOP("LayerTexts",
                      "Create an app password in the Google account and use it in place of the password."),
    QT_TRANSLATE_NOOP("LayerTexts",
                      "Signing in with OAuth2 needs the user name: type your address into the server's settings."),
    QT_TRANSLATE_NOOP("LayerTexts", "Corvane knows no OAuth2 sign-in for %1: OAuth2 works with the servers of the "
                                    "providers in docs/PROVIDERS.md that take it."),
    QT_TRANSLATE_NOOP("LayerTexts", "Passwords are not remembered (no keyring: %1); Corvane keeps them until it ends."),
    // the copy to Sent
    QT_TRANSLATE_NOOP("LayerTexts", "The IMAP server refused the sign-in."),
    QT_TRANSLATE_NOOP("LayerTexts", "The IMAP server did not answer in time."),
    QT_TRANSLATE_NOOP("LayerTexts", "The IMAP server %1 was not found."),
    QT_TRANSLATE_NOOP("LayerTexts", "The IMAP server's address %1 cannot be used."),
    QT_TRANSLATE_NOOP("LayerTexts", "The IMAP server's certificate is not trusted: %1."),
    QT_TRANSLATE_NOOP("LayerTexts", "The IMAP server does not offer STARTTLS."),
    QT_TRANSLATE_NOOP("LayerTexts", "The IMAP server did not list its folders."),
    QT_TRANSLATE_NOOP("LayerTexts", "The IMAP server did not take the copy into \"%1\"."),
    QT_TRANSLATE_NOOP("LayerTexts", "The connection to the IMAP server broke off."),
    QT_TRANSLATE_NOOP("LayerTexts", "The IMAP server has no Sent folder."),
    QT_TRANSLATE_NOOP("LayerTexts", "Encryption with the IMAP server failed."),
    QT_TRANSLATE_NOOP("LayerTexts",
                      "The copy to Sent needs SSL/TLS or STARTTLS: the sign-in never crosses a plain connection."),
    QT_TRANSLATE_NOOP("LayerTexts", "The copy to Sent needs an IMAP server."),
    QT_TRANSLATE_NOOP("LayerTexts", "The copy to Sent needs a user name for the IMAP server."),
};

// A sentence and the pattern that finds it in a text: its words as they stand, each %N any
// text (as little as will do, but all that is left where %N ends the sentence).
struct TSentence {
    const char* English;
    QRegularExpression Pattern;
};

const std::vector<TSentence>& Patterns() {
    static const std::vector<TSentence> patterns = [] {
        static const QRegularExpression placeholder(QStringLiteral("%[1-9]"));
        std::vector<TSentence> made;
        for (const char* sentence : Sentences) {
            const QString english = QString::fromUtf8(sentence);
            QString pattern;
            qsizetype at = 0;
            for (auto match = placeholder.globalMatch(english); match.hasNext();) {
                const auto found = match.next();
                pattern += QRegularExpression::escape(english.mid(at, found.capturedStart() - at));
                at = found.capturedEnd();
                pattern += at == english.size() ? QStringLiteral("(.+)") : QStringLiteral("(.+?)");
            }
            pattern += QRegularExpression::escape(english.mid(at));
            made.push_back({sentence, QRegularExpression(pattern)});
        }
        return made;
    }();
    return patterns;
}

}  // namespace

QString InWindowLanguage(QString text) {
    for (const TSentence& sentence : Patterns()) {
        const QString translated = QCoreApplication::translate("LayerTexts", sentence.English);
        if (translated == QString::fromUtf8(sentence.English)) {
            continue;  // English, or not translated
        }
        QString result;
        qsizetype at = 0;
        for (auto match = sentence.Pattern.globalMatch(text); match.hasNext();) {
            const auto found = match.next();
            // In one pass: what a %N stands for is never read again.
            const QString words = found.lastCapturedIndex() == 0   ? translated
                                  : found.lastCapturedIndex() == 1 ? translated.arg(found.captured(1))
                                                                   : translated.arg(found.captured(1), found.captured(2));
            result += text.mid(at, found.capturedStart() - at) + words;
            at = found.capturedEnd();
        }
        if (at > 0) {
            text = result + text.mid(at);
        }
    }
    return text;
}

}  // namespace corvane::app
