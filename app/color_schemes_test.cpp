// The colour schemes: readable palettes, the first start's choice, and the menu that applies
// and remembers one.
#include "app/color_schemes.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QSettings>

#include "app/ribbon.h"
#include "app/testing/catalogue_double.h"
#include "app/testing/main_window_fixture.h"

namespace filever {
namespace {

using testing::MainWindowFixture;

// Lightness apart enough to read one on the other.
void ExpectReadable(const QColor& a, const QColor& b, const QString& what) {
    EXPECT_GT(std::abs(a.lightness() - b.lightness()), 100) << what.toStdString();
}

TEST(ColorSchemes, EveryOneIsReadableAndUnknownNamesChangeNothing) {
    ASSERT_EQ(ColorSchemeNames(), QStringList({"Blue", "Obsidian", "Silver", "Classic Blue",
                                               "Classic Olive", "Classic Silver", "Flat"}));
    for (const QString& name : ColorSchemeNames()) {
        const QPalette p = ColorSchemePalette(name);
        ExpectReadable(p.color(QPalette::Window), p.color(QPalette::WindowText), name);
        ExpectReadable(p.color(QPalette::Base), p.color(QPalette::Text), name);
        ExpectReadable(p.color(QPalette::Highlight), p.color(QPalette::HighlightedText), name);
        EXPECT_TRUE(ColorSchemeRibbonStyle(name).contains("#ToolBarPager1")) << name.toStdString();
    }
    EXPECT_LT(ColorSchemePalette("Obsidian").color(QPalette::Window).lightness(), 80);
    EXPECT_TRUE(ColorSchemeRibbonStyle("Purple").isEmpty());
    EXPECT_EQ(ColorSchemePalette("Purple"), QPalette());
}

TEST(ColorSchemes, TheFirstStartFollowsTheDesktop) {
    const QPalette light = ColorSchemePalette("Flat"), dark = ColorSchemePalette("Obsidian");
    struct Case {
        QByteArray gtkTheme;
        QPalette palette;
        bool dark;
    } cases[] = {
        {"", light, false},
        {"Adwaita:dark", light, true},
        {"Adwaita", dark, true},
        {"", dark, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.gtkTheme.toStdString());
        EXPECT_EQ(DesktopPrefersDark(c.gtkTheme, c.palette), c.dark);
    }
    EXPECT_EQ(DefaultColorScheme(true), "Obsidian");
    EXPECT_EQ(DefaultColorScheme(false), "Blue");
}

class SchemeMenu : public MainWindowFixture {
protected:
    ~SchemeMenu() override { QApplication::setPalette(QPalette()); }
    QAction* Item(Tmainw& w, const QString& name) {
        for (QAction* a : w.ToolBarPager1->SchemeMenu->actions())
            if (a->text() == name) return a;
        return nullptr;
    }
    testing::CatalogueDouble catalogue;
};

TEST_F(SchemeMenu, AChosenSchemeIsAppliedAndRemembered) {
    {
        auto w = Make(catalogue);
        EXPECT_EQ(w->ColorScheme(), "Blue");  // the test desktop is light
        QAction* silver = Item(*w, "Silver");
        ASSERT_NE(silver, nullptr);
        silver->trigger();
        EXPECT_EQ(w->ColorScheme(), "Silver");
        EXPECT_FALSE(Item(*w, "Blue")->isChecked());
        EXPECT_EQ(QApplication::palette().color(QPalette::Window),
                  ColorSchemePalette("Silver").color(QPalette::Window));
        EXPECT_EQ(w->ToolBarPager1->styleSheet(), ColorSchemeRibbonStyle("Silver"));
    }
    auto w = Make(catalogue);
    EXPECT_EQ(w->ColorScheme(), "Silver");
    EXPECT_TRUE(Item(*w, "Silver")->isChecked());
}

TEST_F(SchemeMenu, ADarkDesktopStartsInObsidianAndAnUnknownSavedNameIsIgnored) {
    qputenv("GTK_THEME", "Adwaita:dark");
    {
        QSettings settings(options.settingsPath, QSettings::IniFormat);
        settings.setValue(QStringLiteral("window/scheme"), QStringLiteral("Purple"));
    }
    auto w = Make(catalogue);
    qunsetenv("GTK_THEME");
    EXPECT_EQ(w->ColorScheme(), "Obsidian");
    EXPECT_EQ(QApplication::palette().color(QPalette::Window),
              ColorSchemePalette("Obsidian").color(QPalette::Window));
}

}  // namespace
}  // namespace filever
