#include "control/Language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

void Language::Install(QCoreApplication& app)
{
    const QLocale locale;
    // Ours are compiled in; Qt's own (standard dialogs, the command line's
    // help) come with Qt where they are installed.
    const struct {
        const char* name;
        QString folder;
    } catalogues[] = {
        {"lumo", QStringLiteral(":/i18n")},
        {"qtbase", QLibraryInfo::path(QLibraryInfo::TranslationsPath)},
    };
    for (const auto& c : catalogues) {
        auto* translator = new QTranslator(&app);
        if (translator->load(locale, QLatin1String(c.name), QStringLiteral("_"), c.folder))
            QCoreApplication::installTranslator(translator);
        else
            delete translator;
    }
}
