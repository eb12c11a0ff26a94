// The version catalogue "版本控制.dat": storage areas, watched files and their versions,
// kept in three tables of the database engine:
//   "数据存储区"  (Tbarea):    "存储区序号" (auto-increment), "名称", "目录"
//   "文件索引表"  (Tbfileid):  "文件序号" (auto-increment), "存储区序号", "源文件名称",
//                              "备份文件目录", "大小" (the last capture's file time,
//                              "yyyy-mm-dd-hh-mm-ss"; empty before the first capture)
//   "文件版本表"  (Tbfilever): "文件序号", "版本", "文件名称", "说明", "大小" (bytes as
//                              decimal text), "文件扩展名"
// and a fourth table for the areas' retention settings (app/retention.h), added to a
// catalogue that lacks it when it is opened (the three tables above keep their layout):
//   "存储区保留策略" (Tbretain): "存储区序号", "方式" (0 keep all, 1 the last N,
//                              2 staggered), "保留数量" (N), "容量上限" (bytes as decimal
//                              text, "0" for none)
// and, added the same way, a fifth for watched folders (app/watched_folders.h):
//   "监控目录" (Tbfolder):     "目录序号" (auto-increment), "存储区序号", "目录",
//                              "包含子目录" (0 or 1), "排除规则" (patterns, one a line)
// A catalogue this class creates is a compressed database whose long texts ("目录" of an
// area, "源文件名称", "备份文件目录", "文件名称", "说明") are memo fields: they take what
// their text takes (a version some 500 bytes, where fixed-width fields took some 6 KB).
// Catalogues made with fixed-width text fields are read and written as they are; both
// kinds refuse the same over-long texts (the widths below).
// Table names, field names and stored strings are GB18030 bytes; this class converts at
// its boundary, so callers deal in QString only (app/gb_text.h). The catalogue's own path
// is no stored value: the engine gets it as the native file-system path (QFile::encodeName).
//
// TCatalogue is the only way the application reaches these tables: the main window, the
// registration commands and the change monitor call it, never the tables themselves.
// It owns the three TTarnTable components; they stay open from Open until destruction.
//
// Lookups by path, name or version are exact (the whole value must match), so a path never
// finds another path that merely begins with it. A text longer than its field is refused
// before anything is written (EDatabaseError naming the field and the sizes), never cut.
//
// Every method raises the engine's errors (tarn::EDatabaseError and its kin) otherwise
// unchanged, except that the catalogue's path inside a message is given in GB18030 like
// every other message text; a write that fails leaves its table in browse mode. The
// callers' handlers show them by the standard error report. User-interface thread only.
// The methods are virtual so that tests of the callers can put a double in place.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/retention.h"

namespace tarn {
class TTarnTable;
}

namespace filever {

// One file or version row handed to a caller; filled in place, initialised empty by the
// caller. From a version row every field; from a file-index row FileNo and FilePath only.
struct verinfo {
    int32_t FileNo = 0;
    QString VerName;   // "版本"
    QString FilePath;  // "文件名称" (stored copy) or "源文件名称" (source file)
    QString Remark;    // "说明"
    QString SizeText;  // "大小" of a version: bytes as decimal text
    QString FileExt;   // "文件扩展名"
};

struct TAreaRow {
    int32_t AreaNo = 0;  // "存储区序号"
    QString Name;        // "名称"
    QString Dir;         // "目录"
};

struct TFileRow {
    int32_t FileNo = 0;    // "文件序号"
    int32_t AreaNo = 0;    // "存储区序号"
    QString SourcePath;    // "源文件名称"
    QString BackupDir;     // "备份文件目录"
    QString RecordedTime;  // "大小" of a file-index row
};

// A watched folder: its files are registered under its area as they appear.
struct TFolderRow {
    int32_t FolderNo = 0;    // "目录序号"
    int32_t AreaNo = 0;      // "存储区序号"
    QString Path;            // "目录"
    bool Subfolders = true;  // "包含子目录"
    QString Exclusions;      // "排除规则": patterns, one a line
};

// The values of a version row to append ("文件序号" .. "文件扩展名").
struct TVersionRow {
    int32_t FileNo = 0;
    QString VerName;
    QString FilePath;
    QString Remark;
    QString SizeText;
    QString FileExt;
};

class TCatalogue {
public:
    TCatalogue();
    virtual ~TCatalogue();
    TCatalogue(const TCatalogue&) = delete;
    TCatalogue& operator=(const TCatalogue&) = delete;

    // The widths (bytes) of the string fields of a catalogue this class creates.
    static constexpr int kNameBytes = 255;  // "名称"
    static constexpr int kPathBytes = 2048;  // "目录", "源文件名称", "备份文件目录", "文件名称"
    static constexpr int kTimeBytes = 32;  // "大小" of a file row, "版本", "大小" of a version
    static constexpr int kRemarkBytes = 4096;  // "说明"
    static constexpr int kExtBytes = 255;      // "文件扩展名"

    // When no file is at `path`: creates the catalogue there (its directory too) with the
    // three empty tables, built under a temporary name and renamed into place, so a failed
    // creation leaves no half catalogue. Then DatabaseName := path on all three tables,
    // TableName "数据存储区" / "文件索引表" / "文件版本表", Open and First on each in that
    // order. An existing file is never changed: "Database file '%s' is an invalid TarnDB" or
    // "Table '%s' not found" when it is not a catalogue; EFOpenError when it cannot be
    // opened or created. Until an Open succeeds every other method refuses with
    // "版本目录“<path>”没有打开：<the reason Open gave>" ("版本目录没有打开" before the first
    // Open), so nothing reaches a table that is not open.
    virtual void Open(const QString& path);

    // The rows the tree is built from, in table order (the caller inserts each as the
    // first child, so the newest ends first). Areas: Tbarea from First to Eof.
    virtual std::vector<TAreaRow> Areas();
    // Tbfileid filtered by "存储区序号=<areaNo>".
    virtual std::vector<TFileRow> FilesOfArea(int32_t areaNo);
    // "版本" of Tbfilever filtered by "文件序号=<fileNo>".
    virtual std::vector<QString> VersionNamesOfFile(int32_t fileNo);
    // "版本" of every version row, by file number, in table order: one pass over Tbfilever
    // (the tree of a whole catalogue).
    virtual std::map<int32_t, std::vector<QString>> AllVersionNames();
    // Every row of Tbfileid, Filtered off (the monitoring pass).
    virtual std::vector<TFileRow> AllFiles();

    // Tbfileid, Filtered off, Locate "源文件名称" = path: FileNo and FilePath of the row
    // found; `rec` untouched when none is.
    virtual void FindFileByPath(const QString& path, verinfo& rec);
    // Tbfilever, Filtered off, Locate "版本" = name (with fileNo other than 0 the row of
    // that file: "文件序号;版本"): all six fields of the row found; `rec` untouched when
    // none is. Two files may have versions of the same name: callers that know the file
    // pass its number, so a node shows its own file's version.
    virtual void FindVersionByName(const QString& name, verinfo& rec, int32_t fileNo = 0);

    // Runs `work` as one transaction of the catalogue's database: after it returns, or
    // after a crash or a power cut at any moment, the file holds all of its writes or
    // none. An error inside rolls everything back (the tables show what they held before)
    // and is raised unchanged. Called inside another Transaction, `work` joins that one.
    virtual void Transaction(const std::function<void()>& work);

    // Tbarea: Append, "名称", "目录", Post. Returns the area number the table assigned.
    virtual int32_t AddArea(const QString& name, const QString& dir);
    // Tbarea, Filtered off, Locate "名称" = name (whole value): the area row.
    virtual bool FindArea(const QString& name, TAreaRow& out);
    // Tbfileid: Append, "存储区序号", "源文件名称", "备份文件目录", Post. Refused (nothing
    // written) also when the path of a stored copy of the file would not fit "文件名称".
    // Returns the file number the table assigned.
    virtual int32_t AddFile(int32_t areaNo, const QString& sourcePath, const QString& backupDir);
    // Tbfileid, Filtered off, Locate "源文件名称" = path (whole value), Delete. False when
    // no row matched. Only the file-index row: see RemoveWatchedFile (version_capture.h).
    virtual bool RemoveFile(const QString& sourcePath);
    // The file-index row of `fileNo`, deleted. False when there is none.
    virtual bool RemoveFileNo(int32_t fileNo);
    // The area row of `areaNo`, its retention setting and its watched folders, deleted (its files
    // are the caller's). False when there is no such area.
    virtual bool RemoveArea(int32_t areaNo);

    // Every version row of file `fileNo`, all six fields, in table order (oldest first).
    virtual std::vector<TVersionRow> VersionsOfFile(int32_t fileNo);
    // The version rows of each of `fileNos` (all six fields, in table order), read in one
    // pass over the table: what a batch of captures needs of many files at once.
    virtual std::map<int32_t, std::vector<TVersionRow>> VersionsOfFiles(
        const std::vector<int32_t>& fileNos);
    // Deletes the first version row with the same file number, version name and copy
    // path as `row`. False when there is none.
    virtual bool RemoveVersion(const TVersionRow& row);
    // Whether any version row names `copyPath` as its stored copy (two captures of one
    // last-write time share a copy): such a copy must stay.
    virtual bool CopyInUse(const QString& copyPath);

    // Tbfileid, Filtered off, Locate "源文件名称" = path, letter case ignored.
    virtual bool FindFileIgnoreCase(const QString& path, TFileRow& out);
    // Tbfileid row of `fileNo`: Edit, "大小" := time, Post.
    virtual void SetRecordedTime(int32_t fileNo, const QString& time);
    // SetRecordedTime for each file of `times` (file number -> time), in one pass over the
    // table.
    virtual void SetRecordedTimes(const std::map<int32_t, QString>& times);
    // Tbfilever: Append, the six fields, Post; `rec` filled from the row just appended.
    virtual void AddVersion(const TVersionRow& row, verinfo& rec);
    // Tbfilever, Filtered off, the row of file `fileNo` named `name` (with fileNo 0 the
    // first row named `name`): Edit, "说明" := text, Post. False when no row matched.
    virtual bool SetVersionDescription(int32_t fileNo, const QString& name, const QString& text);

    // The retention setting of area `areaNo`: keep everything unless one was set.
    virtual TRetentionPolicy Retention(int32_t areaNo);
    // Stores the setting of area `areaNo` (one row per area). Raises when the catalogue
    // could not be given its retention table (a catalogue that cannot be written).
    virtual void SetRetention(int32_t areaNo, const TRetentionPolicy& policy);

    // Tbfolder: Append, the four fields, Post. Returns the folder number the table
    // assigned. Raises when the catalogue could not be given its folder table.
    virtual int32_t AddFolder(int32_t areaNo, const QString& path, bool subfolders,
                              const QString& exclusions);
    // Every watched folder, in table order (none when the table could not be had).
    virtual std::vector<TFolderRow> Folders();
    // The folder row of `folderNo`, deleted (its files stay registered). False when none.
    virtual bool RemoveFolder(int32_t folderNo);

    // The versions whose description or stored copy's file name contains `word`, letter
    // case ignored (every version for the empty word): Tbfilever filtered by the engine's
    // LIKE, case-insensitive, each candidate checked against the word; left unfiltered
    // afterwards. All six fields of each row, in table order. In app/version_search.cpp.
    virtual std::vector<verinfo> SearchVersions(const QString& word);

private:
    std::unique_ptr<tarn::TTarnTable> Tbarea;
    std::unique_ptr<tarn::TTarnTable> Tbfileid;
    std::unique_ptr<tarn::TTarnTable> Tbfilever;
    std::unique_ptr<tarn::TTarnTable> Tbretain;
    std::unique_ptr<tarn::TTarnTable> Tbfolder;
    QString retainFailure_;   // why the retention table is not there; empty when open
    QString folderFailure_;   // why the folder table is not there; empty when open
    std::string nativePath_;  // the engine's DatabaseName, for re-encoding messages
    bool open_ = false;
    QString openFailure_;  // why the last Open failed (its message), while not open

    // Creates the file when missing, then names and opens the three tables.
    void OpenTables(const QString& path);
    // Opens the retention and folder tables, adding them to a catalogue that lacks them.
    void OpenRetainTable();
    // Opens one table added after the first three (made by `create` when missing); the
    // reason when it could not be had, else empty.
    QString OpenAddedTable(tarn::TTarnTable& added, const char* tableName,
                           void (*create)(const std::string&));
    // Raises the refusal above unless the tables are open.
    void RequireOpen() const;
    // Runs a step on the tables (open unless `opening`), with the engine's messages
    // re-encoded.
    template <typename F>
    auto Engine(F&& action, bool opening = false) -> decltype(action());
};

}  // namespace filever
