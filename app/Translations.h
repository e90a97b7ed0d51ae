#pragma once
// The window in the desktop's language: the translation of its texts for the locale, from
// the ones built into the program, with English (the texts as written) as the source and the
// fallback. A language without a translation, or a translation that cannot be read, leaves
// every text in English; nothing else changes.

#include <QLocale>
#include <QString>

class QCoreApplication;

namespace corvane::app {

// Where the program keeps its translations: corvane_de.qm and so on.
inline constexpr const char* TranslationsFolder = ":/translations";

// Installs the translation of Application's texts for Locale from Folder; false (English)
// when there is none for the locale's languages. Qt's own texts (standard buttons, the file
// dialog) follow where the system has Qt's translations.
bool InstallTranslations(QCoreApplication& application, const QLocale& locale,
                         const QString& folder = QString::fromLatin1(TranslationsFolder));

// Whether the window's texts are translated: dates and times then follow the locale too.
bool TranslationActive();

}  // namespace corvane::app
