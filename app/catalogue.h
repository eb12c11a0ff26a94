// The version catalogue "版本控制.dat": storage areas, watched files and their versions,
// kept in three tables of the database engine:
//   "数据存储区"  (Tbarea):    "存储区序号" (auto-increment), "名称", "目录"
//   "文件索引表"  (Tbfileid):  "文件序号" (auto-increment), "存储区序号", "源文件名称",
//                              "备份文件目录", "大小" (the last capture's file time,
//                              "yyyy-mm-dd-hh-mm-ss"; empty before the first capture)
//   "文件版本表"  (Tbfilever): "文件序号", "版本", "文件名称", "说明", "大小" (bytes as
//                              decimal text), "文件扩展名"
// Strings are stored as GB18030 bytes; this class converts at its boundary, so callers
// deal in QString only (app/gb_text.h).
//
// TCatalogue is the only way the application reaches these tables: the main window, the
// registration commands and the change monitor call it, never the tables themselves.
// It owns the three TTarnTable components; they stay open from Open until destruction.
// Every method raises the engine's errors (tarn::EDatabaseError and its kin) unchanged;
// the callers' handlers show them by the standard error report. User-interface thread
// only. The methods are virtual so that tests of the callers can put a double in place.
//
// NOT BUILT YET: the table component TTarnTable is being written; until it is merged, every
// method below raises EDatabaseError "TCatalogue: ... not connected to the database engine
// yet" (catalogue.cpp). Each method's comment states the table calls it is to make.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

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

    // DatabaseName := path on all three tables, TableName "数据存储区" / "文件索引表" /
    // "文件版本表", Open and First on each in that order. The file must exist with the
    // three tables: "Cannot open file %s", "Database file '%s' is a invalid TarnDB",
    // "Table '%s' not found" otherwise. Nothing is created.
    virtual void Open(const QString& path);

    // The rows the tree is built from, in table order (the caller inserts each as the
    // first child, so the newest ends first). Areas: Tbarea from First to Eof.
    virtual std::vector<TAreaRow> Areas();
    // Tbfileid filtered by "存储区序号=<areaNo>".
    virtual std::vector<TFileRow> FilesOfArea(int32_t areaNo);
    // "版本" of Tbfilever filtered by "文件序号=<fileNo>".
    virtual std::vector<QString> VersionNamesOfFile(int32_t fileNo);
    // Every row of Tbfileid, Filtered off (the monitoring pass).
    virtual std::vector<TFileRow> AllFiles();

    // Tbfileid, Filtered off, Locate "源文件名称" = path: FileNo and FilePath of the row
    // found; `rec` untouched when none is.
    virtual void FindFileByPath(const QString& path, verinfo& rec);
    // Tbfilever, Filtered off, Locate "版本" = name: all six fields of the row found;
    // `rec` untouched when none is.
    virtual void FindVersionByName(const QString& name, verinfo& rec);

    // Tbarea: Append, "名称", "目录", Post.
    virtual void AddArea(const QString& name, const QString& dir);
    // Tbarea, Filtered off, Locate "名称" = name (whole value): the area row.
    virtual bool FindArea(const QString& name, TAreaRow& out);
    // Tbfileid: Append, "存储区序号", "源文件名称", "备份文件目录", Post.
    virtual void AddFile(int32_t areaNo, const QString& sourcePath, const QString& backupDir);
    // Tbfileid, Filtered off, Locate "源文件名称" = path (whole value), Delete. False when
    // no row matched.
    virtual bool RemoveFile(const QString& sourcePath);

    // Tbfileid, Filtered off, Locate "源文件名称" = path, letter case ignored.
    virtual bool FindFileIgnoreCase(const QString& path, TFileRow& out);
    // Tbfileid row of `fileNo`: Edit, "大小" := time, Post.
    virtual void SetRecordedTime(int32_t fileNo, const QString& time);
    // Tbfilever: Append, the six fields, Post; `rec` filled from the row just appended.
    virtual void AddVersion(const TVersionRow& row, verinfo& rec);
    // Tbfilever, Filtered off, the row of file `fileNo` named `name` (with fileNo 0 the
    // first row named `name`): Edit, "说明" := text, Post. False when no row matched.
    virtual bool SetVersionDescription(int32_t fileNo, const QString& name, const QString& text);
};

}  // namespace filever
