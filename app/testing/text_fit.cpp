#include "app/testing/text_fit.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QAbstractSeries>
#include <QAction>
#include <QApplication>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTextDocumentFragment>
#include <QToolButton>
#include <climits>

namespace filever::testing {

namespace {

QString Who(const QObject* o) {
    return QStringLiteral("%1 \"%2\"")
        .arg(QLatin1String(o->metaObject()->className()), o->objectName());
}

QString Size(const QSize& s) { return QStringLiteral("%1x%2").arg(s.width()).arg(s.height()); }

// The text a label shows: rich text without its mark-up.
QString ShownText(const QLabel* label) {
    const QString text = label->text();
    const bool rich = label->textFormat() == Qt::RichText ||
                      (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(text));
    return rich ? QTextDocumentFragment::fromHtml(text).toPlainText() : text;
}

// Width and height of `text` in `fm`, with its line breaks and mnemonics.
QSize TextSize(const QFontMetrics& fm, const QString& text) {
    return fm.size(Qt::TextShowMnemonic | Qt::TextExpandTabs, text);
}

class TWalker {
public:
    explicit TWalker(const TTextFitOptions& options) : options_(options) {}

    QStringList problems;

    void Walk(QWidget* root) {
        Read(root, root->windowTitle(), QStringLiteral("window title"));
        CheckWidget(root);
        for (QWidget* w : root->findChildren<QWidget*>()) CheckWidget(w);
        // Menus are not shown, but their items are read when they open.
        for (QAction* a : root->findChildren<QAction*>())
            if (a->isVisible() && !a->isSeparator())
                Read(a, a->text(), QStringLiteral("menu item"));
    }

private:
    const TTextFitOptions& options_;

    void Cut(const QObject* o, const QString& text, const QString& why) {
        problems << QStringLiteral("%1: \"%2\" is cut: %3").arg(Who(o), text, why);
    }

    // A text the user reads: in English it must hold no Han character but the user data's.
    void Read(const QObject* o, const QString& text, const QString& what) {
        if (!options_.noHan || text.isEmpty()) return;
        QString rest = text;
        for (const QString& data : options_.userData)
            if (!data.isEmpty()) rest.remove(data);
        if (HasHan(rest))
            problems << QStringLiteral("%1: %2 \"%3\" is not translated").arg(Who(o), what, text);
    }

    void CheckWidget(QWidget* w) {
        if (!w->isVisible()) return;
        Read(w, w->toolTip(), QStringLiteral("tool tip"));
        if (auto* label = qobject_cast<QLabel*>(w))
            CheckLabel(label);
        else if (auto* button = qobject_cast<QAbstractButton*>(w))
            CheckButton(button);
        else if (auto* tabs = qobject_cast<QTabBar*>(w))
            CheckTabBar(tabs);
        else if (auto* header = qobject_cast<QHeaderView*>(w))
            CheckHeader(header);
        else if (auto* combo = qobject_cast<QComboBox*>(w))
            CheckCombo(combo);
        else if (auto* edit = qobject_cast<QLineEdit*>(w))
            Read(edit, edit->placeholderText(), QStringLiteral("placeholder"));
        else if (auto* chart = qobject_cast<QChartView*>(w))
            CheckChart(chart);
        if (auto* box = qobject_cast<QGroupBox*>(w)) CheckGroupBox(box);
    }

    void CheckLabel(QLabel* label) {
        if (label->text().isEmpty()) return;
        const QString text = ShownText(label);
        Read(label, text, QStringLiteral("label"));
        const QRect room = label->contentsRect().marginsRemoved(
            QMargins(label->margin(), label->margin(), label->margin(), label->margin()));
        if (label->wordWrap()) {
            const int needed = label->heightForWidth(label->width());
            if (needed > label->height())
                Cut(label, text,
                    QStringLiteral("wrapped it needs %1 high, has %2")
                        .arg(needed)
                        .arg(label->height()));
            return;
        }
        const QSize needed = TextSize(label->fontMetrics(), text);
        if (needed.width() > room.width() || needed.height() > room.height())
            Cut(label, text,
                QStringLiteral("needs %1, has %2").arg(Size(needed), Size(room.size())));
    }

    void CheckButton(QAbstractButton* button) {
        const QString text = button->text();
        if (text.isEmpty()) return;
        Read(button, text, QStringLiteral("button"));
        if (auto* push = qobject_cast<QPushButton*>(button)) {
            // The style's minimum width of a push button is no part of its text.
            QStyleOptionButton option;
            option.initFrom(push);
            QSize content = TextSize(push->fontMetrics(), text);
            if (!push->icon().isNull()) content.rwidth() += push->iconSize().width() + 4;
            const QStyle* style = push->style();
            const int frame = style->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, push) * 2;
            const int margin = style->pixelMetric(QStyle::PM_ButtonMargin, &option, push);
            const QSize needed = content + QSize(margin + frame, 0);
            if (needed.width() > push->width() || content.height() > push->height())
                Cut(push, text,
                    QStringLiteral("needs %1, has %2").arg(Size(needed), Size(push->size())));
            return;
        }
        const QSize hint = button->sizeHint();
        if (hint.width() > button->width() || hint.height() > button->height())
            Cut(button, text,
                QStringLiteral("size hint %1, size %2").arg(Size(hint), Size(button->size())));
    }

    void CheckTabBar(QTabBar* tabs) {
        const bool across =
            tabs->shape() == QTabBar::RoundedNorth || tabs->shape() == QTabBar::RoundedSouth ||
            tabs->shape() == QTabBar::TriangularNorth || tabs->shape() == QTabBar::TriangularSouth;
        const int has = across ? tabs->width() : tabs->height();
        const int needs = across ? tabs->sizeHint().width() : tabs->sizeHint().height();
        if (needs > has)
            Cut(tabs, QString(),
                QStringLiteral("its tabs need %1 along the bar, it has %2").arg(needs).arg(has));
        for (int i = 0; i < tabs->count(); ++i) {
            if (!tabs->isTabVisible(i)) continue;
            const QString text = tabs->tabText(i);
            Read(tabs, text, QStringLiteral("tab"));
            const int textWidth = TextSize(tabs->fontMetrics(), text).width();
            const int tabWidth = across ? tabs->tabRect(i).width() : tabs->tabRect(i).height();
            if (textWidth > tabWidth)
                Cut(tabs, text,
                    QStringLiteral("tab %1 wide, text %2").arg(tabWidth).arg(textWidth));
        }
    }

    void CheckHeader(QHeaderView* header) {
        const QAbstractItemModel* model = header->model();
        if (!model) return;
        const int margin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
        const int count =
            header->orientation() == Qt::Horizontal ? model->columnCount() : model->rowCount();
        for (int i = 0; i < count; ++i) {
            if (header->isSectionHidden(i)) continue;
            const QString text = model->headerData(i, header->orientation()).toString();
            if (text.isEmpty()) continue;
            Read(header, text, QStringLiteral("header"));
            const int needed = TextSize(header->fontMetrics(), text).width() + 2 * margin;
            if (header->orientation() == Qt::Horizontal && needed > header->sectionSize(i))
                Cut(header, text,
                    QStringLiteral("section %1 wide, needs %2")
                        .arg(header->sectionSize(i))
                        .arg(needed));
        }
    }

    void CheckCombo(QComboBox* combo) {
        for (int i = 0; i < combo->count(); ++i)
            Read(combo, combo->itemText(i), QStringLiteral("item"));
        const QSize hint = combo->sizeHint();
        if (hint.width() > combo->width())
            Cut(combo, combo->currentText(),
                QStringLiteral("size hint %1, size %2").arg(Size(hint), Size(combo->size())));
    }

    void CheckGroupBox(QGroupBox* box) {
        const QString title = box->title();
        if (title.isEmpty()) return;
        Read(box, title, QStringLiteral("group title"));
        int needed = TextSize(box->fontMetrics(), title).width();
        if (box->isCheckable())
            needed += box->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, box);
        if (needed > box->contentsRect().width())
            Cut(box, title,
                QStringLiteral("title needs %1, box has %2")
                    .arg(needed)
                    .arg(box->contentsRect().width()));
    }

    void CheckChart(QChartView* view) {
        const QChart* chart = view->chart();
        if (!chart) return;
        Read(view, chart->title(), QStringLiteral("chart title"));
        for (const QAbstractAxis* axis : chart->axes())
            Read(view, axis->titleText(), QStringLiteral("axis title"));
        for (const QAbstractSeries* series : chart->series()) {
            Read(view, series->name(), QStringLiteral("series"));
            if (auto* bars = qobject_cast<const QAbstractBarSeries*>(series))
                for (const QBarSet* set : bars->barSets())
                    Read(view, set->label(), QStringLiteral("bar set"));
        }
    }
};

}  // namespace

bool HasHan(const QString& text) {
    for (const char32_t c : text.toUcs4())
        if (QChar::script(c) == QChar::Script_Han) return true;
    return false;
}

QStringList TextFitProblems(QWidget* root, const TTextFitOptions& options) {
    TWalker walker(options);
    walker.Walk(root);
    return walker.problems;
}

void ShowAndSettle(QWidget* window) {
    window->show();
    (void)QTest::qWaitForWindowExposed(window);
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCoreApplication::processEvents();
    }
}

QStringList TextFitProblemsOfAllPages(QWidget* root, const TTextFitOptions& options) {
    QStringList problems = TextFitProblems(root, options);
    // A tab widget's own stack is turned through the tab widget, so that its bar follows.
    QList<QWidget*> stacks;
    for (QTabWidget* tabs : root->findChildren<QTabWidget*>()) stacks << tabs;
    for (QStackedWidget* stack : root->findChildren<QStackedWidget*>())
        if (!qobject_cast<QTabWidget*>(stack->parentWidget())) stacks << stack;
    for (QWidget* w : stacks) {
        auto* tabs = qobject_cast<QTabWidget*>(w);
        auto* stack = qobject_cast<QStackedWidget*>(w);
        const int count = tabs ? tabs->count() : stack->count();
        const int current = tabs ? tabs->currentIndex() : stack->currentIndex();
        for (int i = 0; i < count; ++i) {
            if (i == current) continue;
            if (tabs)
                tabs->setCurrentIndex(i);
            else
                stack->setCurrentIndex(i);
            ShowAndSettle(root);
            problems << TextFitProblems(root, options);
        }
        if (tabs)
            tabs->setCurrentIndex(current);
        else
            stack->setCurrentIndex(current);
        ShowAndSettle(root);
    }
    problems.removeDuplicates();
    return problems;
}

}  // namespace filever::testing
