#include "app/version_search.h"

#include <QFileInfo>
#include <QSet>
#include <QTreeWidget>

#include "app/gb_text.h"
#include "platform/text/codepage.h"
#include "tarndb/dataset/dataset_types.h"
#include "tarndb/table.h"

namespace filever {
namespace {

// Bytes of the word in the filter's string constant (of the 256 characters it holds, with
// room for the pattern's "%" on both sides).
constexpr size_t kMaxWordBytes = 240;

std::string N(const char* utf8) { return tarn::Utf8ToAnsi(utf8); }

QString Str(tarn::TTarnTable& t, const char* field) {
    return AnsiToQString(t.FieldByName(N(field))->AsString());
}

// Leaves the table unfiltered when the search ends, also after an error.
class UnfilterOnExit {
public:
    explicit UnfilterOnExit(tarn::TTarnTable& t) : t_(t) {}
    ~UnfilterOnExit() {
        try {
            t_.SetFiltered(false);
            t_.SetFilter(std::string());
            t_.SetFilterOptions(0);
        } catch (...) {
            // The search's own error, if any, is the one to report.
        }
    }

private:
    tarn::TTarnTable& t_;
};

}  // namespace

std::string VersionSearchFilter(const QString& word) {
    std::string literal;
    for (qsizetype i = 0; i < word.size();) {
        // One character at a time (a surrogate pair is one), so no character is cut.
        const qsizetype len = word[i].isHighSurrogate() && i + 1 < word.size() ? 2 : 1;
        QString ch = word.mid(i, len);
        i += len;
        if (ch.size() == 1 && ch[0].unicode() < 0x20) ch = QStringLiteral("_");
        std::string bytes = QStringToAnsi(ch);
        if (bytes == "'") bytes = "''";
        if (literal.size() + bytes.size() > kMaxWordBytes) break;
        literal += bytes;
    }
    const std::string pattern = "'%" + literal + "%'";
    return "[" + N("说明") + "] LIKE " + pattern + " OR [" + N("文件名称") + "] LIKE " + pattern;
}

bool VersionMatchesWord(const verinfo& version, const QString& word) {
    return version.Remark.contains(word, Qt::CaseInsensitive) ||
           QFileInfo(version.FilePath).fileName().contains(word, Qt::CaseInsensitive);
}

std::vector<verinfo> FindVersionsByWord(tarn::TTarnTable& versions, const QString& word) {
    UnfilterOnExit unfilter(versions);
    if (versions.Filtered()) versions.SetFiltered(false);
    versions.SetFilterOptions(tarn::foCaseInsensitive);
    versions.SetFilter(word.isEmpty() ? std::string() : VersionSearchFilter(word));
    versions.SetFiltered(true);
    std::vector<verinfo> hits;
    for (versions.First(); !versions.Eof(); versions.Next()) {
        verinfo rec;
        rec.FileNo = versions.FieldByName(N("文件序号"))->AsInteger();
        rec.VerName = Str(versions, "版本");
        rec.FilePath = Str(versions, "文件名称");
        rec.Remark = Str(versions, "说明");
        rec.SizeText = Str(versions, "大小");
        rec.FileExt = Str(versions, "文件扩展名");
        if (VersionMatchesWord(rec, word)) hits.push_back(std::move(rec));
    }
    return hits;
}

std::vector<verinfo> TCatalogue::SearchVersions(const QString& word) {
    RequireOpen();
    return FindVersionsByWord(*Tbfilever, word);
}

void TVersionSearchIndex::Load(const std::vector<verinfo>& versions,
                               const std::vector<TFileRow>& files) {
    Clear();
    entries_.reserve(versions.size());
    for (const verinfo& v : versions)
        entries_.push_back({v.FileNo, v.VerName, v.Remark, QFileInfo(v.FilePath).fileName()});
    for (const TFileRow& file : files) fileNos_.insert(file.SourcePath, file.FileNo);
}

void TVersionSearchIndex::Clear() {
    entries_ = {};
    fileNos_.clear();
}

std::vector<verinfo> TVersionSearchIndex::Find(const QString& word) const {
    std::vector<verinfo> hits;
    for (const Entry& e : entries_) {
        if (!e.Remark.contains(word, Qt::CaseInsensitive) &&
            !e.CopyName.contains(word, Qt::CaseInsensitive))
            continue;
        verinfo hit;
        hit.FileNo = e.FileNo;
        hit.VerName = e.VerName;
        hits.push_back(std::move(hit));
    }
    return hits;
}

void FilterCatalogueTree(QTreeWidget& tree, const std::vector<verinfo>& hits,
                         const QMultiHash<QString, int32_t>& fileNos) {
    QSet<QPair<int32_t, QString>> wanted;
    for (const verinfo& v : hits) wanted.insert({v.FileNo, v.VerName});
    // Only what changes is touched: each change of a node costs the view some work.
    const auto show = [](QTreeWidgetItem* node, bool shown) {
        if (node->isHidden() == shown) node->setHidden(!shown);
        if (shown && node->childCount() > 0 && !node->isExpanded()) node->setExpanded(true);
    };
    for (int a = 0; a < tree.topLevelItemCount(); ++a) {
        QTreeWidgetItem* area = tree.topLevelItem(a);
        bool areaShown = false;
        for (int f = 0; f < area->childCount(); ++f) {
            QTreeWidgetItem* file = area->child(f);
            const QList<int32_t> numbers = fileNos.values(file->text(0));
            bool fileShown = false;
            for (int v = 0; v < file->childCount(); ++v) {
                QTreeWidgetItem* version = file->child(v);
                bool shown = false;
                for (int32_t no : numbers) shown = shown || wanted.contains({no, version->text(0)});
                show(version, shown);
                fileShown = fileShown || shown;
            }
            show(file, fileShown);
            areaShown = areaShown || fileShown;
        }
        show(area, areaShown);
    }
}

void ShowWholeTree(QTreeWidget& tree) {
    for (QTreeWidgetItemIterator it(&tree); *it; ++it) (*it)->setHidden(false);
}

}  // namespace filever
