#include "app/merge_view.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QVBoxLayout>

#include "app/desktop_services.h"
#include "app/error_report.h"
#include "app/text_pane.h"

namespace filever {
namespace {

const QColor kTaken(200, 225, 255);
const QColor kOldWords(255, 175, 130);
const QColor kNewWords(140, 220, 140);

// A line as a pane shows it: characters that would end a block shown by a sign of the same
// length, so rows stay aligned and word spans keep their places.
QString Shown(const QString& line) {
    QString text = line;
    for (QChar& c : text) {
        if (c == QLatin1Char('\r'))
            c = QChar(0x240D);
        else if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            c = QChar(0x2424);
    }
    return text;
}

struct TPaneRow {
    QColor line;  // invalid: not marked
    const std::vector<TWordSpan>* words = nullptr;
    QColor word;
};

void MarkPane(QPlainTextEdit* edit, const std::vector<TPaneRow>& rows) {
    QList<QTextEdit::ExtraSelection> lines, words;
    QTextBlock block = edit->document()->firstBlock();
    for (size_t i = 0; i < rows.size() && block.isValid(); ++i, block = block.next()) {
        const TPaneRow& row = rows[i];
        if (row.line.isValid()) {
            QTextEdit::ExtraSelection mark;
            mark.cursor = QTextCursor(block);
            mark.format.setBackground(row.line);
            mark.format.setProperty(QTextFormat::FullWidthSelection, true);
            lines << mark;
        }
        if (!row.words) continue;
        for (const TWordSpan& span : *row.words) {
            QTextEdit::ExtraSelection mark;
            mark.cursor = QTextCursor(block);
            mark.cursor.setPosition(block.position() + span.start);
            mark.cursor.setPosition(block.position() + span.start + span.length,
                                    QTextCursor::KeepAnchor);
            mark.format.setBackground(row.word);
            words << mark;
        }
    }
    // Words over their lines' marks.
    edit->setExtraSelections(lines + words);
}

void SyncScrolling(QScrollBar* a, QScrollBar* b) {
    QObject::connect(a, &QScrollBar::valueChanged, b, &QScrollBar::setValue);
    QObject::connect(b, &QScrollBar::valueChanged, a, &QScrollBar::setValue);
}

}  // namespace

TMergeView::TMergeView(QWidget* owner, TDesktopServices& desktop, TCatalogue& catalogue,
                       const verinfo& version, const QString& path, const QByteArray& olderBytes,
                       const QByteArray& currentBytes)
    : QDialog(owner),
      desktop_(desktop),
      catalogue_(catalogue),
      version_(version),
      path_(path),
      currentBytes_(currentBytes),
      plan_(olderBytes, currentBytes) {
    setObjectName(QStringLiteral("TMergeView"));
    setWindowTitle(tr("版本合并"));
    resize(1200, 640);

    OlderTitle = new QLabel(tr("版本 %1").arg(version.VerName), this);
    OlderTitle->setToolTip(version.FilePath);
    CurrentTitle = new QLabel(tr("当前文件"), this);
    CurrentTitle->setToolTip(path);
    ResultTitle = new QLabel(tr("合并结果"), this);
    OlderText = MakeTextPane(this, QStringLiteral("OlderText"));
    CurrentText = MakeTextPane(this, QStringLiteral("CurrentText"));
    ResultText = MakeTextPane(this, QStringLiteral("ResultText"));
    HunkList = new QListWidget(this);
    HunkList->setObjectName(QStringLiteral("HunkList"));
    TakeButton = new QPushButton(tr("采用此处"), this);
    LeaveButton = new QPushButton(tr("保留当前"), this);
    PrevButton = new QPushButton(tr("上一处"), this);
    NextButton = new QPushButton(tr("下一处"), this);
    SaveButton = new QPushButton(tr("保存合并结果"), this);
    CloseButton = new QPushButton(tr("关闭"), this);
    Summary = new QLabel(this);
    TakeButton->setToolTip(tr("合并结果在此处采用版本中的内容"));
    LeaveButton->setToolTip(tr("合并结果在此处保留当前文件的内容"));

    // The version and the current file do not change while the view is open.
    const std::vector<TDiffRow>& rows = plan_.Rows();
    const TTextFile& older = plan_.Older();
    const TTextFile& current = plan_.Current();
    QStringList olderTexts, currentTexts;
    for (const TDiffRow& row : rows) {
        olderTexts << (row.left >= 0 ? Shown(older.lines[row.left].text) : QString());
        currentTexts << (row.right >= 0 ? Shown(current.lines[row.right].text) : QString());
    }
    OlderText->setPlainText(olderTexts.join(QLatin1Char('\n')));
    CurrentText->setPlainText(currentTexts.join(QLatin1Char('\n')));
    words_.resize(rows.size());
    for (size_t r = 0; r < rows.size(); ++r) {
        if (rows[r].kind == TDiffKind::Changed)
            words_[r] =
                DiffWords(older.lines[rows[r].left].text, current.lines[rows[r].right].text);
    }

    for (size_t h = 0; h < plan_.Hunks().size(); ++h) {
        const TMergeHunk& hunk = plan_.Hunks()[h];
        auto* item = new QListWidgetItem(
            tr("第 %1 处（第 %2 行）").arg(h + 1).arg(hunk.currentFirst + 1), HunkList);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }

    for (QPlainTextEdit* a : {OlderText, CurrentText}) {
        for (QPlainTextEdit* b : {CurrentText, ResultText}) {
            if (a == b) continue;
            SyncScrolling(a->verticalScrollBar(), b->verticalScrollBar());
            SyncScrolling(a->horizontalScrollBar(), b->horizontalScrollBar());
        }
    }
    // A click on a row of a hunk selects that hunk.
    for (QPlainTextEdit* pane : {OlderText, CurrentText, ResultText}) {
        connect(pane, &QPlainTextEdit::cursorPositionChanged, this, [this, pane] {
            if (filling_) return;
            const int hunk = plan_.HunkOfRow(pane->textCursor().blockNumber());
            if (hunk >= 0 && hunk != SelectedHunk()) {
                filling_ = true;
                HunkList->setCurrentRow(hunk);
                filling_ = false;
                UpdateState();
            }
        });
    }
    connect(HunkList, &QListWidget::itemChanged, this, [this] {
        if (!filling_) ShowResult();
    });
    connect(HunkList, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!filling_) SelectHunk(row);
    });
    connect(TakeButton, &QPushButton::clicked, this, [this] { SetTaken(SelectedHunk(), true); });
    connect(LeaveButton, &QPushButton::clicked, this, [this] { SetTaken(SelectedHunk(), false); });
    connect(PrevButton, &QPushButton::clicked, this, [this] { SelectHunk(SelectedHunk() - 1); });
    connect(NextButton, &QPushButton::clicked, this, [this] { SelectHunk(SelectedHunk() + 1); });
    connect(SaveButton, &QPushButton::clicked, this, [this] { Save(); });
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* grid = new QGridLayout(this);
    grid->addWidget(OlderTitle, 0, 0);
    grid->addWidget(CurrentTitle, 0, 1);
    grid->addWidget(ResultTitle, 0, 2);
    grid->addWidget(OlderText, 1, 0);
    grid->addWidget(CurrentText, 1, 1);
    grid->addWidget(ResultText, 1, 2);
    auto* side = new QVBoxLayout;
    side->addWidget(new QLabel(tr("不同之处"), this));
    side->addWidget(HunkList, 1);
    auto* choose = new QHBoxLayout;
    choose->addWidget(TakeButton);
    choose->addWidget(LeaveButton);
    side->addLayout(choose);
    auto* move = new QHBoxLayout;
    move->addWidget(PrevButton);
    move->addWidget(NextButton);
    side->addLayout(move);
    grid->addLayout(side, 0, 3, 2, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(Summary, 1);
    bottom->addWidget(SaveButton);
    bottom->addWidget(CloseButton);
    grid->addLayout(bottom, 2, 0, 1, 4);
    grid->setRowStretch(1, 1);
    for (int c = 0; c < 3; ++c) grid->setColumnStretch(c, 3);
    grid->setColumnStretch(3, 1);

    ShowResult();
    if (!plan_.Hunks().empty()) SelectHunk(0);
}

std::vector<bool> TMergeView::Taken() const {
    std::vector<bool> taken;
    for (int i = 0; i < HunkList->count(); ++i)
        taken.push_back(HunkList->item(i)->checkState() == Qt::Checked);
    return taken;
}

void TMergeView::SetTaken(int hunk, bool take) {
    if (hunk < 0 || hunk >= HunkList->count()) return;
    HunkList->item(hunk)->setCheckState(take ? Qt::Checked : Qt::Unchecked);
}

int TMergeView::SelectedHunk() const { return HunkList->currentRow(); }

void TMergeView::SelectHunk(int hunk) {
    if (hunk < 0 || hunk >= HunkList->count()) return;
    filling_ = true;
    HunkList->setCurrentRow(hunk);
    // The hunk's first row in the middle of the panes (the others follow the scroll).
    const int row = plan_.Hunks()[static_cast<size_t>(hunk)].firstRow;
    OlderText->setTextCursor(QTextCursor(OlderText->document()->findBlockByNumber(row)));
    OlderText->centerCursor();
    filling_ = false;
    UpdateState();
}

void TMergeView::ShowResult() {
    const std::vector<bool> taken = Taken();
    const std::vector<TDiffRow>& rows = plan_.Rows();
    QStringList texts;
    for (size_t r = 0; r < rows.size(); ++r) {
        const int hunk = plan_.HunkOfRow(static_cast<int>(r));
        const bool fromOlder = hunk >= 0 && taken[static_cast<size_t>(hunk)];
        const int line = fromOlder ? rows[r].left : rows[r].right;
        const TTextFile& file = fromOlder ? plan_.Older() : plan_.Current();
        texts << (line >= 0 ? Shown(file.lines[static_cast<size_t>(line)].text) : QString());
    }
    filling_ = true;
    const int v = ResultText->verticalScrollBar()->value();
    const int h = ResultText->horizontalScrollBar()->value();
    ResultText->setPlainText(texts.join(QLatin1Char('\n')));
    ResultText->verticalScrollBar()->setValue(v);
    ResultText->horizontalScrollBar()->setValue(h);
    filling_ = false;
    UpdateState();
}

void TMergeView::UpdateState() {
    const std::vector<bool> taken = Taken();
    const std::vector<TDiffRow>& rows = plan_.Rows();
    const int selected = SelectedHunk();
    std::vector<TPaneRow> older(rows.size()), current(rows.size()), result(rows.size());
    for (size_t r = 0; r < rows.size(); ++r) {
        const TDiffRow& row = rows[r];
        const int hunk = plan_.HunkOfRow(static_cast<int>(r));
        if (hunk < 0) continue;
        const bool fromOlder = taken[static_cast<size_t>(hunk)];
        const bool changed = row.kind == TDiffKind::Changed;
        older[r] = {row.left >= 0 ? (changed ? kRowChanged : kRowRemoved) : kRowFiller,
                    changed ? &words_[r].left : nullptr, kOldWords};
        current[r] = {row.right >= 0 ? (changed ? kRowChanged : kRowAdded) : kRowFiller,
                      changed ? &words_[r].right : nullptr, kNewWords};
        if (fromOlder)
            result[r] = {row.left >= 0 ? kTaken : kRowFiller, changed ? &words_[r].left : nullptr,
                         kOldWords};
        else
            result[r] = {row.right >= 0 ? QColor() : kRowFiller,
                         changed ? &words_[r].right : nullptr, kNewWords};
        // The selected place stands out a little in every pane.
        if (hunk == selected) {
            for (TPaneRow* pane : {&older[r], &current[r], &result[r]})
                pane->line = pane->line.isValid() ? pane->line.darker(112) : QColor(238, 238, 250);
        }
    }
    MarkPane(OlderText, older);
    MarkPane(CurrentText, current);
    MarkPane(ResultText, result);

    const int places = static_cast<int>(plan_.Hunks().size());
    const int takenCount = static_cast<int>(std::count(taken.begin(), taken.end(), true));
    Summary->setText(places == 0 ? tr("版本与当前文件的内容相同，没有可以合并的改动")
                                 : tr("共有 %1 处不同，已采用 %2 处").arg(places).arg(takenCount));
    SaveButton->setEnabled(takenCount > 0);
    const bool any = selected >= 0;
    TakeButton->setEnabled(any && !taken[static_cast<size_t>(selected)]);
    LeaveButton->setEnabled(any && taken[static_cast<size_t>(selected)]);
    PrevButton->setEnabled(any && selected > 0);
    NextButton->setEnabled(any && selected + 1 < places);
}

void TMergeView::Save() {
    const std::vector<bool> taken = Taken();
    const int takenCount = static_cast<int>(std::count(taken.begin(), taken.end(), true));
    if (takenCount == 0) return;
    TMergeOutcome attempt;
    try {
        SaveMergedFile(catalogue_, path_, version_, currentBytes_, plan_.Merge(taken), attempt);
    } catch (...) {
        // The state before is a version also when the write failed after it.
        if (attempt.captured) {
            outcome_.captured = true;
            outcome_.capturedVersion = attempt.capturedVersion;
        }
        const QString why = CurrentExceptionText();
        if (why.isEmpty()) return;
        desktop_.MessageBox(
            this, AppCaption(),
            tr("合并结果没有保存，“%1”保持原样。\n%2").arg(path_, ErrorReportText(why)),
            TMsgIcon::Error);
        return;
    }
    outcome_.saved = true;
    if (attempt.captured) {
        outcome_.captured = true;
        outcome_.capturedVersion = attempt.capturedVersion;
    }
    QString text = tr("已将版本 %1 中的 %2 处改动合并到“%3”。")
                       .arg(version_.VerName)
                       .arg(takenCount)
                       .arg(path_);
    if (attempt.captured)
        text += QLatin1Char('\n') +
                tr("合并前的内容已保存为版本 %1。").arg(attempt.capturedVersion.VerName);
    desktop_.MessageBox(this, AppCaption(), text, TMsgIcon::Information);
    accept();
}

}  // namespace filever
