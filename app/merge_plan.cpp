#include "app/merge_plan.h"

#include <QHash>
#include <QStringDecoder>
#include <QStringList>
#include <algorithm>

#include "app/gb_text.h"

namespace filever {
namespace {

const QByteArray kUtf8Bom("\xEF\xBB\xBF");

bool AllAscii(const QByteArray& bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The line end most lines of the file use; empty when no line has one.
QByteArray UsualEnding(const TTextFile& file) {
    int lf = 0, crlf = 0;
    for (const TTextLine& line : file.lines) {
        if (line.ending == "\r\n")
            ++crlf;
        else if (line.ending == "\n")
            ++lf;
    }
    if (lf == 0 && crlf == 0) return {};
    return crlf > lf ? QByteArray("\r\n") : QByteArray("\n");
}

// What the diff compares: the text, and for a last line without a line end a mark that no
// text line holds (a file with a NUL byte is binary), so the missing end is a difference.
QStringList DiffKeys(const TTextFile& file) {
    QStringList keys;
    keys.reserve(static_cast<qsizetype>(file.lines.size()));
    for (const TTextLine& line : file.lines)
        keys << (line.ending.isEmpty() ? line.text + QChar(0) : line.text);
    return keys;
}

// Word pieces: kinds of characters that run together.
enum class TPieceKind { Word, Space, Single };

TPieceKind KindOf(char32_t c) {
    if (QChar::isSpace(c)) return TPieceKind::Space;
    switch (QChar::script(c)) {
        case QChar::Script_Han:
        case QChar::Script_Hiragana:
        case QChar::Script_Katakana:
        case QChar::Script_Hangul:
        case QChar::Script_Bopomofo:
            return TPieceKind::Single;
        default:
            break;
    }
    if (QChar::isLetterOrNumber(c) || c == U'_' || QChar::isMark(c)) return TPieceKind::Word;
    return TPieceKind::Single;
}

// The code point at `i` and its length in UTF-16 units (a lone surrogate is one unit).
char32_t CodePointAt(const QString& s, int i, int& units) {
    const QChar c = s.at(i);
    if (c.isHighSurrogate() && i + 1 < s.size() && s.at(i + 1).isLowSurrogate()) {
        units = 2;
        return QChar::surrogateToUcs4(c, s.at(i + 1));
    }
    units = 1;
    return c.unicode();
}

std::vector<TWordSpan> Pieces(const QString& s) {
    std::vector<TWordSpan> pieces;
    int i = 0;
    const int n = static_cast<int>(s.size());
    while (i < n) {
        int units = 1;
        const TPieceKind kind = KindOf(CodePointAt(s, i, units));
        int end = i + units;
        if (kind != TPieceKind::Single) {
            while (end < n) {
                int more = 1;
                if (KindOf(CodePointAt(s, end, more)) != kind) break;
                end += more;
            }
        }
        pieces.push_back({i, end - i});
        i = end;
    }
    return pieces;
}

void AddSpan(std::vector<TWordSpan>& spans, const TWordSpan& piece) {
    if (!spans.empty() && spans.back().start + spans.back().length == piece.start)
        spans.back().length += piece.length;
    else
        spans.push_back(piece);
}

}  // namespace

TTextFile ParseTextFile(const QByteArray& bytes) {
    TTextFile file;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8.decode(bytes);  // the check happens while decoding
    file.utf8 = !utf8.hasError();
    file.ascii = AllAscii(bytes);
    QByteArray body = bytes;
    if (file.utf8 && bytes.startsWith(kUtf8Bom)) {
        file.bom = kUtf8Bom;
        body = body.mid(kUtf8Bom.size());
    }
    // "\n" is never part of a multi-byte character in UTF-8 or GB18030, so the bytes are
    // split into lines first and each line decoded on its own.
    qsizetype pos = 0;
    while (pos < body.size()) {
        const qsizetype nl = body.indexOf('\n', pos);
        TTextLine line;
        if (nl < 0) {
            line.bytes = body.mid(pos);
            pos = body.size();
            if (line.bytes.endsWith('\r')) {
                line.bytes.chop(1);
                line.ending = "\r";
            }
        } else {
            line.bytes = body.mid(pos, nl - pos);
            line.ending = "\n";
            if (line.bytes.endsWith('\r')) {
                line.bytes.chop(1);
                line.ending = "\r\n";
            }
            pos = nl + 1;
        }
        line.text = file.utf8
                        ? QString::fromUtf8(line.bytes)
                        : AnsiToQString(std::string_view(line.bytes.constData(),
                                                         static_cast<size_t>(line.bytes.size())));
        file.lines.push_back(std::move(line));
    }
    return file;
}

TWordDiff DiffWords(const QString& left, const QString& right) {
    const std::vector<TWordSpan> a = Pieces(left), b = Pieces(right);
    QHash<QStringView, int> ids;
    auto number = [&](const QString& s, const std::vector<TWordSpan>& pieces) {
        std::vector<int> out;
        out.reserve(pieces.size());
        for (const TWordSpan& p : pieces) {
            const QStringView text = QStringView(s).mid(p.start, p.length);
            auto it = ids.constFind(text);
            if (it == ids.constEnd()) it = ids.insert(text, static_cast<int>(ids.size()));
            out.push_back(*it);
        }
        return out;
    };
    const std::vector<int> ia = number(left, a);
    const std::vector<int> ib = number(right, b);
    TWordDiff diff;
    for (const TDiffRow& row : DiffSequences(ia, ib)) {
        if (row.kind == TDiffKind::Same) continue;
        if (row.left >= 0) AddSpan(diff.left, a[static_cast<size_t>(row.left)]);
        if (row.right >= 0) AddSpan(diff.right, b[static_cast<size_t>(row.right)]);
    }
    return diff;
}

TMergePlan::TMergePlan(const QByteArray& older, const QByteArray& current)
    : older_(ParseTextFile(older)), current_(ParseTextFile(current)) {
    rows_ = DiffLines(DiffKeys(older_), DiffKeys(current_));
    hunkOfRow_.assign(rows_.size(), -1);
    // Rows come in file order on both sides, so a run of differing rows covers one
    // contiguous range of lines on each side.
    int nextOlder = 0, nextCurrent = 0;
    for (size_t r = 0; r < rows_.size(); ++r) {
        const TDiffRow& row = rows_[r];
        if (row.kind != TDiffKind::Same) {
            if (r == 0 || rows_[r - 1].kind == TDiffKind::Same) {
                TMergeHunk hunk;
                hunk.firstRow = static_cast<int>(r);
                hunk.olderFirst = nextOlder;
                hunk.currentFirst = nextCurrent;
                hunks_.push_back(hunk);
            }
            TMergeHunk& hunk = hunks_.back();
            ++hunk.rowCount;
            if (row.left >= 0) ++hunk.olderCount;
            if (row.right >= 0) ++hunk.currentCount;
            hunkOfRow_[r] = static_cast<int>(hunks_.size()) - 1;
        }
        if (row.left >= 0) nextOlder = row.left + 1;
        if (row.right >= 0) nextCurrent = row.right + 1;
    }
}

int TMergePlan::HunkOfRow(int row) const {
    if (row < 0 || static_cast<size_t>(row) >= hunkOfRow_.size()) return -1;
    return hunkOfRow_[static_cast<size_t>(row)];
}

QByteArray TMergePlan::Merge(const std::vector<bool>& taken) const {
    QByteArray eol = UsualEnding(current_);
    if (eol.isEmpty()) eol = UsualEnding(older_);
    if (eol.isEmpty()) eol = "\n";
    // The current file's encoding; the version's when the current file reads the same in
    // both (plain ASCII) and the version does not.
    const bool utf8 = current_.ascii && !older_.ascii ? older_.utf8 : current_.utf8;

    struct TPiece {
        QByteArray bytes;
        QByteArray ending;
    };
    std::vector<TPiece> pieces;
    bool anyOlder = false;
    auto addCurrent = [&](int first, int count) {
        for (int i = first; i < first + count; ++i) {
            const TTextLine& line = current_.lines[static_cast<size_t>(i)];
            pieces.push_back({line.bytes, line.ending});
        }
    };
    auto addOlder = [&](int first, int count) {
        for (int i = first; i < first + count; ++i) {
            const TTextLine& line = older_.lines[static_cast<size_t>(i)];
            QByteArray bytes;
            if (older_.utf8 == utf8)
                bytes = line.bytes;
            else if (utf8)
                bytes = line.text.toUtf8();
            else
                bytes = QByteArray::fromStdString(QStringToAnsi(line.text));
            pieces.push_back({bytes, line.ending.isEmpty() ? QByteArray() : eol});
            anyOlder = true;
        }
    };

    int nextCurrent = 0;
    for (size_t h = 0; h < hunks_.size(); ++h) {
        const TMergeHunk& hunk = hunks_[h];
        addCurrent(nextCurrent, hunk.currentFirst - nextCurrent);
        if (h < taken.size() && taken[h])
            addOlder(hunk.olderFirst, hunk.olderCount);
        else
            addCurrent(hunk.currentFirst, hunk.currentCount);
        nextCurrent = hunk.currentFirst + hunk.currentCount;
    }
    addCurrent(nextCurrent, static_cast<int>(current_.lines.size()) - nextCurrent);

    QByteArray out = current_.bom;
    if (out.isEmpty() && current_.lines.empty() && anyOlder && utf8 == older_.utf8)
        out = older_.bom;
    for (size_t i = 0; i < pieces.size(); ++i) {
        out += pieces[i].bytes;
        // A line that was the last of its file and is no longer the last gets a line end.
        if (pieces[i].ending.isEmpty() && i + 1 < pieces.size())
            out += eol;
        else
            out += pieces[i].ending;
    }
    return out;
}

}  // namespace filever
