#include "Language.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>
#include <QTranslator>

#include <memory>

namespace {

Language g_current = Language::Chinese;
// The translators in force: the panel's own and, for Chinese, Qt's own dialogs and buttons.
std::unique_ptr<QTranslator> g_panel;
std::unique_ptr<QTranslator> g_qt;

const QString kSettingKey = QStringLiteral("language");

void Remove(std::unique_ptr<QTranslator>& translator) {
    if (translator) {
        QCoreApplication::removeTranslator(translator.get());
        translator.reset();
    }
}

} // namespace

QSettings PanelSettings() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("z7panel"));
}

std::optional<Language> LanguageFromCode(const QString& code) {
    if (code == u"zh")
        return Language::Chinese;
    if (code == u"en")
        return Language::English;
    return std::nullopt;
}

QString LanguageCode(Language language) {
    return language == Language::English ? QStringLiteral("en") : QStringLiteral("zh");
}

QString LanguageName(Language language) {
    return language == Language::English ? QStringLiteral("English") : QStringLiteral("中文");
}

Language ChooseLanguage(const QString& argument, const QString& saved, const QStringList& uiLanguages) {
    if (const std::optional<Language> chosen = LanguageFromCode(argument))
        return *chosen;
    if (const std::optional<Language> chosen = LanguageFromCode(saved))
        return *chosen;
    for (const QString& name : uiLanguages) {
        if (name.isEmpty() || name == u"C" || name == u"POSIX")
            continue;
        return name.startsWith(QLatin1String("zh"), Qt::CaseInsensitive) ? Language::Chinese
                                                                         : Language::English;
    }
    return Language::Chinese;
}

QStringList TranslationDirs() {
    QStringList dirs;
    dirs << QDir(QCoreApplication::applicationDirPath())
                .filePath(QStringLiteral("../share/z7panel/translations"));
#ifdef Z7_INSTALLED_TRANSLATIONS
    dirs << QStringLiteral(Z7_INSTALLED_TRANSLATIONS);
#endif
    return dirs;
}

bool ApplyLanguage(Language language, const QStringList& dirs) {
    Remove(g_panel);
    Remove(g_qt);
    g_current = Language::Chinese;
    if (language == Language::Chinese) {
        // The Chinese texts are the source; only Qt's own standard buttons need a translation.
        auto qt = std::make_unique<QTranslator>();
        if (qt->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
            QCoreApplication::installTranslator(qt.get());
            g_qt = std::move(qt);
        }
        return true;
    }
    auto panel = std::make_unique<QTranslator>();
    for (const QString& dir : dirs) {
        if (panel->load(QStringLiteral("z7panel_en"), dir)) {
            QCoreApplication::installTranslator(panel.get());
            g_panel = std::move(panel);
            g_current = Language::English;
            return true;
        }
    }
    return false;
}

Language CurrentLanguage() {
    return g_current;
}

QString SavedLanguage() {
    return PanelSettings().value(kSettingKey).toString();
}

void SaveLanguage(Language language) {
    PanelSettings().setValue(kSettingKey, LanguageCode(language));
}
