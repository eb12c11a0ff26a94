// The language of the user interface. The Chinese texts in the code are the source; an
// English translation (app/i18n/filever_en.ts, compiled into the program) is used when the
// desktop's locale is not Chinese. FILEVER_LANG ("zh" or "en", also "zh_CN", "en_GB", ...)
// overrides the locale. Qt's own texts (standard buttons, the file dialog) follow the same
// language from Qt's translation files.
#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class QTranslator;

namespace filever {

enum class TUiLanguage { Chinese, English };

// The language for an override (the FILEVER_LANG value, empty when unset) and a locale.
// An override that names neither language is ignored.
TUiLanguage ChooseLanguage(const QString& override, const QLocale& locale);

// The language chosen for this process, from FILEVER_LANG and the system locale.
TUiLanguage LanguageOfThisProcess();

// The translators of `language`, installed into the running application for as long as this
// object lives (a test switches the language for a scope; the program for its whole run).
// A translation file that cannot be loaded is named in Missing(): the texts it would have
// translated then show in the source language.
class TInstalledTranslations {
public:
    explicit TInstalledTranslations(TUiLanguage language);
    ~TInstalledTranslations();
    TInstalledTranslations(const TInstalledTranslations&) = delete;
    TInstalledTranslations& operator=(const TInstalledTranslations&) = delete;

    const QStringList& Missing() const { return missing_; }

private:
    void Load(const QString& file, const QString& directory);

    std::vector<std::unique_ptr<QTranslator>> translators_;
    QStringList missing_;
    QLocale previousDefault_;
};

}  // namespace filever
