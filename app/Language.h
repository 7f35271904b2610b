#pragma once
// The language of the panel's texts: the Chinese the window was laid out in, which is also the source
// of every translation, or English.

#include <QSettings>
#include <QString>
#include <QStringList>

#include <optional>

enum class Language { Chinese, English };

// "zh" or "en"; nothing for any other text.
std::optional<Language> LanguageFromCode(const QString& code);
QString LanguageCode(Language language);
// The language's own name for itself, as a menu lists it: "中文", "English".
QString LanguageName(Language language);

// The language to start in: the command line's --lang over the saved choice over the system's. Of the
// system's interface languages (QLocale::uiLanguages(), most preferred first), the first decides:
// Chinese gives Chinese, any other named language English. No language at all (the C or POSIX locale)
// gives the laid-out Chinese.
Language ChooseLanguage(const QString& argument, const QString& saved, const QStringList& uiLanguages);

// Where the translation files are looked for, in order: beside the program (../share/z7panel/
// translations from its folder, as installed and as built) and the installed place.
QStringList TranslationDirs();

// Puts the language's translations in force in the running application, replacing those of the
// language before; every window then gets a LanguageChange event and retranslates itself. False when
// the English translation is not found in `dirs` (the texts then stay Chinese).
bool ApplyLanguage(Language language, const QStringList& dirs = TranslationDirs());
// The language ApplyLanguage put in force last (Chinese before any call).
Language CurrentLanguage();

// The saved choice of the language menu, "" when none was made.
QString SavedLanguage();
void SaveLanguage(Language language);

// The panel's settings file, where the menus' choices are remembered.
QSettings PanelSettings();
