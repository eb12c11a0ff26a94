#include "app/compare_view.h"

#include <QCoreApplication>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>

#include "app/desktop_services.h"
#include "app/error_report.h"
#include "app/gb_text.h"
#include "app/text_pane.h"
#include "tarndb/errors.h"

namespace filever {
namespace {

// Fills a side with its rows and marks the rows whose colour is not empty.
void FillSide(QPlainTextEdit* edit, const QStringList& texts, const std::vector<QColor>& marks) {
    edit->setPlainText(texts.join(QLatin1Char('\n')));
    QList<QTextEdit::ExtraSelection> selections;
    QTextBlock block = edit->document()->firstBlock();
    for (size_t i = 0; i < marks.size() && block.isValid(); ++i, block = block.next()) {
        if (!marks[i].isValid()) continue;
        QTextEdit::ExtraSelection mark;
        mark.cursor = QTextCursor(block);
        mark.format.setBackground(marks[i]);
        mark.format.setProperty(QTextFormat::FullWidthSelection, true);
        selections << mark;
    }
    edit->setExtraSelections(selections);
}

void SyncScrolling(QScrollBar* a, QScrollBar* b) {
    QObject::connect(a, &QScrollBar::valueChanged, b, &QScrollBar::setValue);
    QObject::connect(b, &QScrollBar::valueChanged, a, &QScrollBar::setValue);
}

QByteArray ReadWhole(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw tarn::EFOpenError(QStringToAnsi(
            QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString())));
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        throw tarn::EInOutError(QStringToAnsi(
            QStringLiteral("Read failed on \"%1\": %2").arg(path, file.errorString())));
    }
    return bytes;
}

qint64 SizeOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw tarn::EFOpenError(QStringToAnsi(
            QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString())));
    }
    return file.size();
}

}  // namespace

TCompareView::TCompareView(QWidget* owner, const TCompareSide& left, const QStringList& leftLines,
                           const TCompareSide& right, const QStringList& rightLines)
    : QDialog(owner), rows_(DiffLines(leftLines, rightLines)) {
    setObjectName(QStringLiteral("TCompareView"));
    setWindowTitle(tr("版本比较"));
    resize(960, 600);

    LeftTitle = new QLabel(left.title, this);
    RightTitle = new QLabel(right.title, this);
    LeftTitle->setToolTip(left.path);
    RightTitle->setToolTip(right.path);
    LeftText = MakeTextPane(this, QStringLiteral("LeftText"));
    RightText = MakeTextPane(this, QStringLiteral("RightText"));
    Summary = new QLabel(this);
    CloseButton = new QPushButton(tr("关闭"), this);
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::accept);

    QStringList leftTexts, rightTexts;
    std::vector<QColor> leftMarks, rightMarks;
    int places = 0;
    for (size_t i = 0; i < rows_.size(); ++i) {
        const TDiffRow& row = rows_[i];
        leftTexts << (row.left >= 0 ? leftLines[row.left] : QString());
        rightTexts << (row.right >= 0 ? rightLines[row.right] : QString());
        QColor l, r;
        switch (row.kind) {
            case TDiffKind::Same:
                break;
            case TDiffKind::Changed:
                l = r = kRowChanged;
                break;
            case TDiffKind::Removed:
                l = kRowRemoved;
                r = kRowFiller;
                break;
            case TDiffKind::Added:
                l = kRowFiller;
                r = kRowAdded;
                break;
        }
        leftMarks.push_back(l);
        rightMarks.push_back(r);
        if (row.kind != TDiffKind::Same && (i == 0 || rows_[i - 1].kind == TDiffKind::Same))
            ++places;
    }
    FillSide(LeftText, leftTexts, leftMarks);
    FillSide(RightText, rightTexts, rightMarks);
    SyncScrolling(LeftText->verticalScrollBar(), RightText->verticalScrollBar());
    SyncScrolling(LeftText->horizontalScrollBar(), RightText->horizontalScrollBar());
    Summary->setText(places == 0 ? tr("两个文件的内容相同") : tr("共有 %1 处不同").arg(places));

    auto* grid = new QGridLayout(this);
    grid->addWidget(LeftTitle, 0, 0);
    grid->addWidget(RightTitle, 0, 1);
    grid->addWidget(LeftText, 1, 0);
    grid->addWidget(RightText, 1, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(Summary, 1);
    bottom->addWidget(CloseButton);
    grid->addLayout(bottom, 2, 0, 1, 2);
    grid->setRowStretch(1, 1);
}

QList<int> TCompareView::MarkedRows(const QPlainTextEdit* side) {
    QList<int> rows;
    for (const QTextEdit::ExtraSelection& mark : side->extraSelections())
        rows << mark.cursor.blockNumber();
    return rows;
}

void CompareFiles(TDesktopServices& desktop, QWidget* parent, const TCompareSide& older,
                  const TCompareSide& newer, const QStringList& diffTool) {
    // Both files must be there, for the tool as for the built-in view.
    SizeOf(older.path);
    SizeOf(newer.path);
    if (!diffTool.isEmpty()) {
        if (desktop.StartProgram(diffTool.front(), diffTool.mid(1) << older.path << newer.path))
            return;
        desktop.MessageBox(
            parent, AppCaption(),
            QCoreApplication::translate("filever", "无法启动比较工具“%1”，改用内置的比较窗口。")
                .arg(diffTool.front()),
            TMsgIcon::Warning);
    }
    QByteArray olderBytes, newerBytes;
    if (!ReadTextPair(desktop, parent, older, newer, olderBytes, newerBytes)) return;
    TCompareView view(parent, older, SplitLines(DecodeText(olderBytes)), newer,
                      SplitLines(DecodeText(newerBytes)));
    desktop.ExecModal(view);
}

bool ReadTextPair(TDesktopServices& desktop, QWidget* parent, const TCompareSide& older,
                  const TCompareSide& newer, QByteArray& olderBytes, QByteArray& newerBytes) {
    const qint64 olderSize = SizeOf(older.path), newerSize = SizeOf(newer.path);
    auto sizes = [&] {
        return QCoreApplication::translate("filever", "\n%1：%2 字节\n%3：%4 字节")
            .arg(older.title)
            .arg(olderSize)
            .arg(newer.title)
            .arg(newerSize);
    };
    if (olderSize > kMaxCompareBytes || newerSize > kMaxCompareBytes) {
        desktop.MessageBox(
            parent, AppCaption(),
            QCoreApplication::translate("filever", "文件太大，无法在内置的比较窗口中显示。") +
                sizes(),
            TMsgIcon::Information);
        return false;
    }
    olderBytes = ReadWhole(older.path);
    newerBytes = ReadWhole(newer.path);
    if (LooksBinary(olderBytes) || LooksBinary(newerBytes)) {
        const QString verdict =
            olderBytes == newerBytes
                ? QCoreApplication::translate("filever", "两个文件的内容相同。")
                : QCoreApplication::translate("filever", "两个文件的内容不同。");
        desktop.MessageBox(
            parent, AppCaption(),
            QCoreApplication::translate("filever", "这是二进制文件，无法逐行比较。") + verdict +
                sizes(),
            TMsgIcon::Information);
        return false;
    }
    return true;
}

}  // namespace filever
