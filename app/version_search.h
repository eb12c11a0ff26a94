// Searching the catalogue's versions by a word, and showing only what matches in the tree.
//
// A version matches when its description ("说明") or the file name of its stored copy
// ("文件名称" without the directories: the watched file's name with the version's time)
// contains the word, letter case ignored. The engine selects the candidates with its
// filter language ("[说明] LIKE '%word%' OR [文件名称] LIKE '%word%'", case-insensitive);
// each candidate is then checked against the word itself, so "%" and "_" in the word are
// plain characters and a word found only in a directory name does not match.
//
// The tree filter hides what does not match instead of rebuilding the tree: a version
// node is shown when it matches, a file node when one of its versions is, an area node
// when one of its files is. Clearing the word shows every node again.
#pragma once

#include <QMultiHash>
#include <QString>
#include <string>
#include <vector>

#include "app/catalogue.h"

class QTreeWidget;

namespace tarn {
class TTarnTable;
}

namespace filever {

// The engine's filter text that selects the candidates for `word` (GB18030 bytes).
// Quotes are doubled; control characters become "_" (any one character) and the word is
// cut to what a string constant of the filter language holds: the candidates are then
// more, never fewer, than the matches.
std::string VersionSearchFilter(const QString& word);
// Whether `version` matches `word`; every version matches the empty word.
bool VersionMatchesWord(const verinfo& version, const QString& word);

// The matching rows of an open version table ("文件版本表"), in table order, all six
// fields. Leaves the table unfiltered (Filter empty, no options). Raises the engine's
// errors.
std::vector<verinfo> FindVersionsByWord(tarn::TTarnTable& versions, const QString& word);

// The versions of the whole catalogue held in memory for searching as the user types: read
// once (one pass over the version table), then each word is a scan of this array with no
// catalogue read. The caller reads it again when the catalogue has changed.
class TVersionSearchIndex {
public:
    // Takes every version (all fields as SearchVersions gives them) and the file rows.
    void Load(const std::vector<verinfo>& versions, const std::vector<TFileRow>& files);
    void Clear();
    // The versions matching `word` (VersionMatchesWord), in table order; FileNo and VerName
    // filled.
    std::vector<verinfo> Find(const QString& word) const;
    // The numbers of the files registered under each path.
    const QMultiHash<QString, int32_t>& FileNos() const { return fileNos_; }

private:
    struct Entry {
        int32_t FileNo;
        QString VerName;
        QString Remark;
        QString CopyName;  // the stored copy's file name, without its directories
    };
    std::vector<Entry> entries_;
    QMultiHash<QString, int32_t> fileNos_;
};

// Shows only the nodes of `hits` in the catalogue tree (area -> file -> version), and
// expands the file and area nodes that hold a hit, so every hit is in view.
// `fileNos` gives the numbers of the files registered under each path; a node knows its
// file by its path only, so the nodes of a path registered twice show the hits of either.
void FilterCatalogueTree(QTreeWidget& tree, const std::vector<verinfo>& hits,
                         const QMultiHash<QString, int32_t>& fileNos);
// Shows every node again.
void ShowWholeTree(QTreeWidget& tree);

}  // namespace filever
