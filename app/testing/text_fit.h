// Checks that the texts of a shown window fit and are in the expected language, for the
// tests that render the interface in Chinese and in English.
//
// TextFitProblems walks a widget and everything under it that is visible and reports, one
// line each (the widget's class and object name, the text and the sizes):
//   - a label that does not wrap and whose text is wider than its contents rect, or a
//     wrapping label shorter than its text needs at its width;
//   - a push button, check box, radio button or tool button narrower than its size hint;
//   - a tab bar narrower than its tabs need (tabs elided or scrolled out of sight), and a
//     tab whose text is wider than the tab;
//   - a group box whose title is wider than the box;
//   - a header section whose label is wider than the section;
// and, when `noHan` is set, every text a user can read (those above, window titles, combo
// box items, menu items, header labels, tool tips, placeholders, chart titles) that still
// contains a Han character once the user data named in `userData` is taken out: a text
// that was not translated.
//
// Only what is shown is measured: a widget on a page that is not current is skipped.
// TextFitProblemsOfAllPages shows every page of every tab widget and stacked widget in
// turn (one stack at a time) and collects the problems of each.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace filever::testing {

struct TTextFitOptions {
    bool noHan = false;    // an English interface: Han characters are untranslated texts
    QStringList userData;  // texts the fixture put in itself, which may hold Han characters
};

// True when `text` holds a Han character.
bool HasHan(const QString& text);

QStringList TextFitProblems(QWidget* root, const TTextFitOptions& options);
QStringList TextFitProblemsOfAllPages(QWidget* root, const TTextFitOptions& options);

// Shows `window`, lets its layouts settle and waits until it is exposed.
void ShowAndSettle(QWidget* window);

}  // namespace filever::testing
