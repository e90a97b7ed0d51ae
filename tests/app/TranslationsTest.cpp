// The window's words in German, from the translation the build makes: the translator finds a
// class's texts under either name lupdate gives them, and the layers' sentences are put into
// German inside a status text, names, numbers and the server's own words left as they stand.

#include <gtest/gtest.h>

#include <QCoreApplication>

#include "TempFolder.h"
#include "app/LayerTexts.h"
#include "app/Main.h"
#include "app/Translations.h"

namespace corvane::app {
namespace {

TEST(Translations, TheWindowAndTheLayersSpeakGermanWhereTheLocaleAsks) {
    const QString folder = QString::fromUtf8(CORVANE_TRANSLATIONS_FOLDER);
    // No translation for the language, or one that cannot be read: English, and nothing else changes.
    EXPECT_FALSE(InstallTranslations(*QCoreApplication::instance(), QLocale(QStringLiteral("nl_NL")), folder));
    const test::TTempFolder broken;
    broken.WriteFile("corvane_de.qm", "not a translation");
    EXPECT_FALSE(InstallTranslations(*QCoreApplication::instance(), QLocale(QStringLiteral("de_DE")),
                                     QString::fromStdString(broken.Path().string())));
    EXPECT_FALSE(TranslationActive());
    EXPECT_EQ(InWindowLanguage(QStringLiteral("The IMAP server has no Sent folder.")),
              QStringLiteral("The IMAP server has no Sent folder."));
    ASSERT_TRUE(InstallTranslations(*QCoreApplication::instance(), QLocale(QStringLiteral("de_DE")), folder));
    EXPECT_TRUE(TranslationActive());
    // A member function's text, and one of the class's declaration.
    EXPECT_EQ(TMainForm::tr("Connecting %1 . . ."), QStringLiteral("Verbinde mit %1 . . ."));
    EXPECT_EQ(TMainForm::tr(TMainForm::ReadyText), QStringLiteral("Bereit für Ihre Mail . . ."));
    const struct {
        const char* English;
        const char* German;
    } rows[] = {
        {"Error: 108 The certificate of mail.example.org cannot be trusted: self-signed certificate. The server's "
         "settings can be found with Ctrl+Shift+S.",
         "Error: 108 Dem Zertifikat von mail.example.org kann nicht vertraut werden: self-signed certificate. Die "
         "Einstellungen des Servers lassen sich mit Strg+Umschalt+S finden."},
        {"Error: 105 Invalid address: a b@c", "Error: 105 Ungültige Adresse: a b@c"},
        {"Error: 106 The message is 9000 bytes; the server takes at most 100.",
         "Error: 106 Die Nachricht hat 9000 Bytes; der Server nimmt höchstens 100 an."},
        {"Successful; the copy to Sent failed: The IMAP server did not take the copy into \"%2 Sent\".",
         "Successful; the copy to Sent failed: Der IMAP-Server hat die Kopie nicht in „%2 Sent“ aufgenommen."},
        // The server's own words, even where they hold the engine's reasons without their frame.
        {"Error: 550 5.7.1 connection refused by policy", "Error: 550 5.7.1 connection refused by policy"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(InWindowLanguage(QString::fromUtf8(row.English)), QString::fromUtf8(row.German)) << row.English;
    }
}

}  // namespace
}  // namespace corvane::app
