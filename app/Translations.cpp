#include "app/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <string_view>

namespace corvane::app {

namespace {

bool g_translated = false;

// lupdate names the texts of a class's member functions by the class alone (TMainForm), and
// those of its declaration by its full name, while tr() asks with the full name
// (corvane::app::TMainForm): the full name is tried first, then the class alone.
class TProgramTranslator : public QTranslator {
public:
    using QTranslator::QTranslator;

    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int n) const override {
        QString found = QTranslator::translate(context, sourceText, disambiguation, n);
        const std::string_view name(context == nullptr ? "" : context);
        if (const auto colons = name.rfind("::"); found.isEmpty() && colons != std::string_view::npos) {
            found = QTranslator::translate(context + colons + 2, sourceText, disambiguation, n);
        }
        return found;
    }
};

}  // namespace

bool InstallTranslations(QCoreApplication& application, const QLocale& locale, const QString& folder) {
    auto* program = new TProgramTranslator(&application);
    if (!program->load(locale, QStringLiteral("corvane"), QStringLiteral("_"), folder) ||
        program->language() == QStringLiteral("en")) {
        delete program;
        return false;
    }
    QCoreApplication::installTranslator(program);
    auto* qt = new QTranslator(&application);
    if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(qt);
    } else {
        delete qt;
    }
    g_translated = true;
    return true;
}

bool TranslationActive() { return g_translated; }

}  // namespace corvane::app
