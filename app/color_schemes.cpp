#include "app/color_schemes.h"

#include <array>

namespace filever {

namespace {

struct TSchemeColors {
    const char* name;
    QRgb window, base, alternate, text, button, highlight, highlightedText, disabledText;
    QRgb ribbonTop, ribbonBottom, ribbonText;
};

// Window and lists, then the ribbon's gradient: the blue, dark, silver and flat looks of
// office ribbons, and the older three with their stronger tints.
constexpr std::array<TSchemeColors, 7> kSchemes{{
    {"Blue", 0xffdfe9f5, 0xffffffff, 0xfff3f7fc, 0xff1e395b, 0xffe4ecf7, 0xff3d7bc7, 0xffffffff,
     0xff8d9db3, 0xffe3edfa, 0xffc4d7ef, 0xff15428b},
    {"Obsidian", 0xff2b2b2b, 0xff1e1e1e, 0xff262626, 0xffe6e6e6, 0xff3a3a3a, 0xff5a8fd6, 0xffffffff,
     0xff7a7a7a, 0xff4a4a4a, 0xff2f2f2f, 0xfff0f0f0},
    {"Silver", 0xffe9ecef, 0xffffffff, 0xfff5f6f7, 0xff2e2e2e, 0xffeef0f2, 0xff7d8a99, 0xffffffff,
     0xff9a9a9a, 0xfff4f5f7, 0xffdadde2, 0xff3c3c3c},
    {"Classic Blue", 0xffc3daf9, 0xffffffff, 0xffe8f1fd, 0xff0a246a, 0xffd6e6fb, 0xff316ac5,
     0xffffffff, 0xff7f8fa9, 0xffe7f0fd, 0xffa9c8f5, 0xff0a246a},
    {"Classic Olive", 0xffe4ebd0, 0xffffffff, 0xfff3f6e9, 0xff3b4a1e, 0xffeaf0d8, 0xff8ca55a,
     0xffffffff, 0xff9aa386, 0xfff1f5e3, 0xffcfdbad, 0xff3b4a1e},
    {"Classic Silver", 0xffe6e6ee, 0xffffffff, 0xfff3f3f7, 0xff3a3a4a, 0xffededf3, 0xff62627e,
     0xffffffff, 0xff9b9bab, 0xfff5f5f9, 0xffd2d2de, 0xff3a3a4a},
    {"Flat", 0xffffffff, 0xffffffff, 0xfff7f7f7, 0xff202020, 0xfff2f2f2, 0xff0078d7, 0xffffffff,
     0xffa0a0a0, 0xffffffff, 0xffffffff, 0xff202020},
}};

const TSchemeColors* Find(const QString& name) {
    for (const TSchemeColors& s : kSchemes)
        if (name == QLatin1String(s.name)) return &s;
    return nullptr;
}

QString Hex(QRgb c) { return QColor(c).name(); }

}  // namespace

const QStringList& ColorSchemeNames() {
    static const QStringList names = [] {
        QStringList list;
        for (const TSchemeColors& s : kSchemes) list << QLatin1String(s.name);
        return list;
    }();
    return names;
}

QPalette ColorSchemePalette(const QString& name) {
    const TSchemeColors* s = Find(name);
    if (!s) return QPalette();
    QPalette p(QColor(s->button), QColor(s->window));
    p.setColor(QPalette::Window, QColor(s->window));
    p.setColor(QPalette::WindowText, QColor(s->text));
    p.setColor(QPalette::Base, QColor(s->base));
    p.setColor(QPalette::AlternateBase, QColor(s->alternate));
    p.setColor(QPalette::Text, QColor(s->text));
    p.setColor(QPalette::Button, QColor(s->button));
    p.setColor(QPalette::ButtonText, QColor(s->text));
    p.setColor(QPalette::ToolTipBase, QColor(s->base));
    p.setColor(QPalette::ToolTipText, QColor(s->text));
    p.setColor(QPalette::PlaceholderText, QColor(s->disabledText));
    p.setColor(QPalette::Highlight, QColor(s->highlight));
    p.setColor(QPalette::HighlightedText, QColor(s->highlightedText));
    p.setColor(QPalette::Link, QColor(s->highlight));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, QColor(s->disabledText));
    return p;
}

QString ColorSchemeRibbonStyle(const QString& name) {
    const TSchemeColors* s = Find(name);
    if (!s) return QString();
    return QStringLiteral(
               "#ToolBarPager1 { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, "
               "stop:0 %1, stop:1 %2); }\n"
               "#ToolBarPager1 QLabel, #ToolBarPager1 QCheckBox, #ToolBarPager1 QToolButton "
               "{ color: %3; }\n")
        .arg(Hex(s->ribbonTop), Hex(s->ribbonBottom), Hex(s->ribbonText));
}

bool DesktopPrefersDark(const QByteArray& gtkTheme, const QPalette& desktopPalette) {
    if (gtkTheme.toLower().endsWith(":dark")) return true;
    return desktopPalette.color(QPalette::Window).lightness() <
           desktopPalette.color(QPalette::WindowText).lightness();
}

QString DefaultColorScheme(bool desktopPrefersDark) {
    return desktopPrefersDark ? QStringLiteral("Obsidian") : QStringLiteral("Blue");
}

}  // namespace filever
