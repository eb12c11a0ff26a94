#include "app/version_compare.h"

#include <QHash>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QStringDecoder>
#include <algorithm>

#include "app/gb_text.h"

namespace filever {

QStringList ResolveDiffTool(const QString& envCommand, const QString& settingCommand,
                            const std::function<QString(const QString&)>& findExecutable) {
    for (const QString& command : {envCommand, settingCommand}) {
        const QStringList words = QProcess::splitCommand(command.trimmed());
        if (!words.isEmpty() && !words.front().isEmpty()) return words;
    }
    for (const QString& name : {QStringLiteral("meld"), QStringLiteral("kdiff3")}) {
        const QString path = findExecutable(name);
        if (!path.isEmpty()) return {path};
    }
    return {};
}

QStringList DiffToolOfUser() {
    const QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("filever"),
                             QStringLiteral("filever"));
    return ResolveDiffTool(
        qEnvironmentVariable("FILEVER_DIFF"),
        settings.value(QStringLiteral("compare/tool")).toString(),
        [](const QString& name) { return QStandardPaths::findExecutable(name); });
}

bool LooksBinary(const QByteArray& bytes) { return bytes.contains('\0'); }

QString DecodeText(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) return AnsiToQString(std::string_view(bytes.constData(), bytes.size()));
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
    return text;
}

QStringList SplitLines(const QString& text) {
    if (text.isEmpty()) return {};
    QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.back().isEmpty()) lines.removeLast();  // the final line's own end
    for (QString& line : lines)
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
    return lines;
}

namespace {

// The most edits the exact diff looks for: the search keeps one row of 2d+3 numbers per
// step d (about 16 MB at this bound) and its time grows with (lines x edits).
constexpr int kMaxEdits = 2000;

enum class TOp { Equal, Delete, Insert };
struct TEdit {
    TOp op;
    int left;   // line of the left side (Equal, Delete)
    int right;  // line of the right side (Equal, Insert)
};

// Myers' greedy shortest edit script of a and b, forward in order; false when it needs
// more than kMaxEdits edits.
bool ShortestEdits(const std::vector<int>& a, const std::vector<int>& b, std::vector<TEdit>& out) {
    const int n = static_cast<int>(a.size()), m = static_cast<int>(b.size());
    const int maxD = std::min(n + m, kMaxEdits);
    const int offset = maxD + 1;
    std::vector<int> v(static_cast<size_t>(2 * maxD + 3), 0);
    std::vector<std::vector<int>> trace;  // trace[d]: v[k] for k in -d-1 .. d+1 before step d
    int found = -1;
    for (int d = 0; d <= maxD && found < 0; ++d) {
        trace.emplace_back(v.begin() + (offset - d - 1), v.begin() + (offset + d + 2));
        for (int k = -d; k <= d; k += 2) {
            int x = (k == -d || (k != d && v[offset + k - 1] < v[offset + k + 1]))
                        ? v[offset + k + 1]
                        : v[offset + k - 1] + 1;
            int y = x - k;
            while (x < n && y < m && a[x] == b[y]) ++x, ++y;
            v[offset + k] = x;
            if (x >= n && y >= m) {
                found = d;
                break;
            }
        }
    }
    if (found < 0) return false;

    std::vector<TEdit> reversed;
    int x = n, y = m;
    for (int d = found; d >= 0; --d) {
        const std::vector<int>& row = trace[static_cast<size_t>(d)];
        auto at = [&](int k) { return row[static_cast<size_t>(k + d + 1)]; };
        const int k = x - y;
        const int prevK = (k == -d || (k != d && at(k - 1) < at(k + 1))) ? k + 1 : k - 1;
        const int prevX = at(prevK);
        const int prevY = prevX - prevK;
        while (x > prevX && y > prevY) {
            --x, --y;
            reversed.push_back({TOp::Equal, x, y});
        }
        if (d > 0) {
            if (x == prevX)
                reversed.push_back({TOp::Insert, -1, y - 1});
            else
                reversed.push_back({TOp::Delete, x - 1, -1});
        }
        x = prevX;
        y = prevY;
    }
    out.assign(reversed.rbegin(), reversed.rend());
    return true;
}

// Rows of one run of differing lines: removed and added lines side by side as changed
// rows, the longer side's rest alone.
void FlushRun(std::vector<int>& removed, std::vector<int>& added, std::vector<TDiffRow>& rows) {
    const size_t paired = std::min(removed.size(), added.size());
    for (size_t i = 0; i < paired; ++i) rows.push_back({removed[i], added[i], TDiffKind::Changed});
    for (size_t i = paired; i < removed.size(); ++i)
        rows.push_back({removed[i], -1, TDiffKind::Removed});
    for (size_t i = paired; i < added.size(); ++i) rows.push_back({-1, added[i], TDiffKind::Added});
    removed.clear();
    added.clear();
}

}  // namespace

std::vector<TDiffRow> DiffLines(const QStringList& left, const QStringList& right) {
    // Lines as numbers: equal lines get equal numbers, so the search compares integers.
    QHash<QString, int> ids;
    auto number = [&](const QStringList& lines) {
        std::vector<int> out;
        out.reserve(static_cast<size_t>(lines.size()));
        for (const QString& line : lines) {
            auto it = ids.constFind(line);
            if (it == ids.constEnd()) it = ids.insert(line, static_cast<int>(ids.size()));
            out.push_back(*it);
        }
        return out;
    };
    return DiffSequences(number(left), number(right));
}

std::vector<TDiffRow> DiffSequences(const std::vector<int>& a, const std::vector<int>& b) {
    const int n = static_cast<int>(a.size()), m = static_cast<int>(b.size());

    int prefix = 0;
    while (prefix < n && prefix < m && a[prefix] == b[prefix]) ++prefix;
    int suffix = 0;
    while (suffix < n - prefix && suffix < m - prefix && a[n - 1 - suffix] == b[m - 1 - suffix])
        ++suffix;

    std::vector<TDiffRow> rows;
    for (int i = 0; i < prefix; ++i) rows.push_back({i, i, TDiffKind::Same});

    const std::vector<int> midA(a.begin() + prefix, a.end() - suffix);
    const std::vector<int> midB(b.begin() + prefix, b.end() - suffix);
    std::vector<TEdit> edits;
    std::vector<int> removed, added;
    if (ShortestEdits(midA, midB, edits)) {
        for (const TEdit& e : edits) {
            switch (e.op) {
                case TOp::Equal:
                    FlushRun(removed, added, rows);
                    rows.push_back({prefix + e.left, prefix + e.right, TDiffKind::Same});
                    break;
                case TOp::Delete:
                    removed.push_back(prefix + e.left);
                    break;
                case TOp::Insert:
                    added.push_back(prefix + e.right);
                    break;
            }
        }
    } else {
        for (int i = prefix; i < n - suffix; ++i) removed.push_back(i);
        for (int j = prefix; j < m - suffix; ++j) added.push_back(j);
    }
    FlushRun(removed, added, rows);

    for (int i = 0; i < suffix; ++i)
        rows.push_back({n - suffix + i, m - suffix + i, TDiffKind::Same});
    return rows;
}

}  // namespace filever
