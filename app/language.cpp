#include "app/language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace filever {

namespace {

// "zh", "zh_CN", "zh-Hans" -> Chinese; "en", "en_US" -> English; anything else: no choice.
bool LanguageOfName(const QString& name, TUiLanguage* language) {
    const QString lower = name.trimmed().toLower();
    if (lower == QLatin1String("zh") || lower.startsWith(QLatin1String("zh_")) ||
        lower.startsWith(QLatin1String("zh-"))) {
        *language = TUiLanguage::Chinese;
        return true;
    }
    if (lower == QLatin1String("en") || lower.startsWith(QLatin1String("en_")) ||
        lower.startsWith(QLatin1String("en-"))) {
        *language = TUiLanguage::English;
        return true;
    }
    return false;
}

}  // namespace

TUiLanguage ChooseLanguage(const QString& override, const QLocale& locale) {
    TUiLanguage language = TUiLanguage::Chinese;
    if (!override.isEmpty() && LanguageOfName(override, &language)) return language;
    return locale.language() == QLocale::Chinese ? TUiLanguage::Chinese : TUiLanguage::English;
}

TUiLanguage LanguageOfThisProcess() {
    return ChooseLanguage(qEnvironmentVariable("FILEVER_LANG"), QLocale::system());
}

TInstalledTranslations::TInstalledTranslations(TUiLanguage language) {
    const QString qtDirectory = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (language == TUiLanguage::Chinese) {
        // The interface's own texts are Chinese already; Qt's are not.
        Load(QStringLiteral("qtbase_zh_CN"), qtDirectory);
        return;
    }
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    Load(QStringLiteral("filever_en"), QStringLiteral(":/i18n"));
}

TInstalledTranslations::~TInstalledTranslations() {
    for (auto& translator : translators_) QCoreApplication::removeTranslator(translator.get());
    QLocale::setDefault(previousDefault_);
}

void TInstalledTranslations::Load(const QString& file, const QString& directory) {
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(file, directory)) {
        missing_.append(directory + QLatin1Char('/') + file);
        return;
    }
    QCoreApplication::installTranslator(translator.get());
    translators_.push_back(std::move(translator));
}

}  // namespace filever
