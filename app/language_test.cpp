#include "app/language.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

namespace filever {
namespace {

TEST(Language, TheOverrideWinsOverTheLocaleAndUnknownOverridesAreIgnored) {
    struct Case {
        const char* override;
        QLocale locale;
        TUiLanguage expected;
    };
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    const QLocale english(QLocale::English, QLocale::UnitedKingdom);
    const QLocale german(QLocale::German, QLocale::Germany);
    const Case cases[] = {
        {"", chinese, TUiLanguage::Chinese},        {"", english, TUiLanguage::English},
        {"", german, TUiLanguage::English},         {"", QLocale::c(), TUiLanguage::English},
        {"en", chinese, TUiLanguage::English},      {"en_US.UTF-8", chinese, TUiLanguage::English},
        {"zh", english, TUiLanguage::Chinese},      {"zh_CN", german, TUiLanguage::Chinese},
        {"ZH-Hans", english, TUiLanguage::Chinese}, {"fr", chinese, TUiLanguage::Chinese},
        {"fr", german, TUiLanguage::English},       {"  en ", chinese, TUiLanguage::English},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChooseLanguage(QString::fromUtf8(c.override), c.locale), c.expected)
            << c.override << " " << c.locale.name().toStdString();
}

TEST(Language, EnglishTranslatesTheInterfaceForAsLongAsItIsInstalled) {
    {
        TInstalledTranslations english(TUiLanguage::English);
        EXPECT_TRUE(english.Missing().isEmpty()) << english.Missing().join(u' ').toStdString();
        EXPECT_EQ(QCoreApplication::translate("filever", "取消"), QStringLiteral("Cancel"));
    }
    EXPECT_EQ(QCoreApplication::translate("filever", "取消"), QStringLiteral("取消"));
}

TEST(Language, ChineseBringsQtsOwnTextsInChinese) {
    TInstalledTranslations chinese(TUiLanguage::Chinese);
    ASSERT_TRUE(chinese.Missing().isEmpty()) << chinese.Missing().join(u' ').toStdString();
    // The text of a standard dialog button, as Qt's own dialogs show it.
    EXPECT_NE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
    EXPECT_EQ(QCoreApplication::translate("filever", "取消"), QStringLiteral("取消"));
}

}  // namespace
}  // namespace filever
