#include "app/LayerTexts.h"

#include <QCoreApplication>
#include <QtGlobal>

namespace corvane::app {

namespace {

// Each exactly as its layer writes it (tools/check-layer-texts.py finds every one there).
// The reasons a connection failed stand after "HOST:PORT": with the colon and the full stop
// around them, so that the same words in a server's reply are left alone.
constexpr const char* Sentences[]{
    // mail engine
    QT_TRANSLATE_NOOP("LayerTexts", "Failed to connect the mail server."),
    QT_TRANSLATE_NOOP("LayerTexts", "Connection to the mail server was lost."),
    QT_TRANSLATE_NOOP("LayerTexts", "The mail server did not answer in time."),
    QT_TRANSLATE_NOOP("LayerTexts", "The mail server sent an invalid reply."),
    QT_TRANSLATE_NOOP("LayerTexts",
                      "The server did not confirm the message; it may have been delivered. Check before sending again."),
    QT_TRANSLATE_NOOP("LayerTexts", "There is not enough memory to compose the message."),
    QT_TRANSLATE_NOOP("LayerTexts", "The access token was refused."),
    QT_TRANSLATE_NOOP("LayerTexts", "This server takes no password: choose OAuth2 sign-in in the server settings."),
    QT_TRANSLATE_NOOP("LayerTexts", "Ask the administrator to enable SMTP sign-in (SMTP AUTH) for this mailbox."),
    QT_TRANSLATE_NOOP("LayerTexts",
                      "Create an app password in the Google account and use it in place of the password."),
    QT_TRANSLATE_NOOP("LayerTexts", "The server's settings can be found with Ctrl+Shift+S."),
    // why a connection failed
    QT_TRANSLATE_NOOP("LayerTexts", ": no such host."),
    QT_TRANSLATE_NOOP("LayerTexts", ": the name could not be looked up."),
    QT_TRANSLATE_NOOP("LayerTexts", ": connection refused."),
    QT_TRANSLATE_NOOP("LayerTexts", ": network unreachable."),
    QT_TRANSLATE_NOOP("LayerTexts", ": host unreachable."),
    QT_TRANSLATE_NOOP("LayerTexts", ": timed out."),
    // the copy to Sent
    QT_TRANSLATE_NOOP("LayerTexts", "The IMAP server refused the sign-in."),
    QT_TRANSLATE_NOOP("LayerTexts", "The IMAP server did not answer in time."),
    QT_TRANSLATE_NOOP("LayerTexts", "The IMAP server does not offer STARTTLS."),
    QT_TRANSLATE_NOOP("LayerTexts", "The IMAP server did not list its folders."),
    QT_TRANSLATE_NOOP("LayerTexts", "The connection to the IMAP server broke off."),
    QT_TRANSLATE_NOOP("LayerTexts", "The IMAP server has no Sent folder."),
    QT_TRANSLATE_NOOP("LayerTexts", "Encryption with the IMAP server failed."),
    QT_TRANSLATE_NOOP("LayerTexts",
                      "The copy to Sent needs SSL/TLS or STARTTLS: the sign-in never crosses a plain connection."),
    QT_TRANSLATE_NOOP("LayerTexts", "The copy to Sent needs an IMAP server."),
    QT_TRANSLATE_NOOP("LayerTexts", "The copy to Sent needs a user name for the IMAP server."),
};

}  // namespace

QString InWindowLanguage(QString text) {
    for (const char* sentence : Sentences) {
        const QString english = QString::fromUtf8(sentence);
        if (text.contains(english)) {
            text.replace(english, QCoreApplication::translate("LayerTexts", sentence));
        }
    }
    return text;
}

}  // namespace corvane::app
