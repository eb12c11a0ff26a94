#include "app/catalogue.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/gb_text.h"
#include "app/version_capture.h"
#include "platform/text/codepage.h"
#include "tarndb/creator.h"
#include "tarndb/database.h"
#include "tarndb/dataset/field_types.h"
#include "tarndb/errors.h"
#include "tarndb/table.h"

namespace filever {
namespace {

using tarn::TTarnTable;
using tarn::TVariant;

// Table and field names as the engine stores them (GB18030); this file is UTF-8.
std::string N(const char* utf8) { return tarn::Utf8ToAnsi(utf8); }

constexpr const char* kAreaTable = "数据存储区";
constexpr const char* kFileTable = "文件索引表";
constexpr const char* kVersionTable = "文件版本表";
constexpr const char* kAreaNo = "存储区序号";
constexpr const char* kName = "名称";
constexpr const char* kDir = "目录";
constexpr const char* kFileNo = "文件序号";
constexpr const char* kSource = "源文件名称";
constexpr const char* kBackup = "备份文件目录";
constexpr const char* kSize = "大小";
constexpr const char* kVersion = "版本";
constexpr const char* kCopy = "文件名称";
constexpr const char* kRemark = "说明";
constexpr const char* kExt = "文件扩展名";
constexpr const char* kRetainTable = "存储区保留策略";
constexpr const char* kMode = "方式";
constexpr const char* kKeepCount = "保留数量";
constexpr const char* kSizeCap = "容量上限";
constexpr const char* kFolderTable = "监控目录";
constexpr const char* kFolderNo = "目录序号";
constexpr const char* kSubfolders = "包含子目录";
constexpr const char* kExclusions = "排除规则";

void AddRetainTable(const std::string& database) {
    tarn::TTarnDBCreator::AddTable(database, N(kRetainTable),
                                   {{N(kAreaNo), tarn::ftInteger},
                                    {N(kMode), tarn::ftInteger},
                                    {N(kKeepCount), tarn::ftInteger},
                                    {N(kSizeCap), tarn::ftString, TCatalogue::kTimeBytes}});
}

void AddFolderTable(const std::string& database) {
    tarn::TTarnDBCreator::AddTable(database, N(kFolderTable),
                                   {{N(kFolderNo), tarn::ftAutoInc},
                                    {N(kAreaNo), tarn::ftInteger},
                                    {N(kDir), tarn::ftString, TCatalogue::kPathBytes},
                                    {N(kSubfolders), tarn::ftInteger},
                                    {N(kExclusions), tarn::ftString, TCatalogue::kRemarkBytes}});
}

tarn::TField* F(TTarnTable& t, const char* field) { return t.FieldByName(N(field)); }
QString Str(TTarnTable& t, const char* field) { return AnsiToQString(F(t, field)->AsString()); }
int32_t Int(TTarnTable& t, const char* field) { return F(t, field)->AsInteger(); }

std::string Filter(const char* field, int32_t value) {
    return N(field) + "=" + std::to_string(value);
}

// A string value checked against its field's width before anything is written.
struct TValue {
    const char* field;
    std::string bytes;
};

void CheckWidths(TTarnTable& t, const std::vector<TValue>& values) {
    for (const TValue& v : values) {
        // A memo field (a catalogue made compressed) takes the width the field has in a
        // catalogue of fixed-width fields: both kinds hold the same texts.
        const tarn::TField* field = F(t, v.field);
        const int width = field->IsBlob()
                              ? (std::strcmp(v.field, kRemark) == 0 ? TCatalogue::kRemarkBytes
                                                                    : TCatalogue::kPathBytes)
                              : field->Size();
        if (v.bytes.size() > static_cast<size_t>(width)) {
            const QString text =
                QCoreApplication::translate(
                    "filever", "“%1”太长，无法存入目录字段“%2”（%3 字节，最多 %4 字节）")
                    .arg(AnsiToQString(v.bytes), QString::fromUtf8(v.field))
                    .arg(v.bytes.size())
                    .arg(width);
            throw tarn::EDatabaseError(QStringToAnsi(text));
        }
    }
}

// Appends or edits one row: the values are checked first, a failing write leaves the
// table in browse mode.
template <typename Assign>
void Write(TTarnTable& t, bool append, const std::vector<TValue>& values, Assign&& assign) {
    CheckWidths(t, values);
    append ? t.Append() : t.Edit();
    try {
        for (const TValue& v : values) F(t, v.field)->SetAsString(v.bytes);
        assign();
        t.Post();
    } catch (...) {
        try {
            t.Cancel();
        } catch (...) {
            // The first error is the one to report.
        }
        throw;
    }
}

// Only the rows of `filter`, evaluated now: rows appended while the table was filtered stay
// in view whatever their values, and the same filter text assigned again would not
// evaluate anew.
void FilteredBy(TTarnTable& t, const std::string& filter) {
    if (t.Filtered()) t.SetFiltered(false);
    t.SetFilter(filter);
    t.SetFiltered(true);
}

void Unfiltered(TTarnTable& t) {
    if (t.Filtered()) t.SetFiltered(false);
    t.First();
}

bool LocateExact(TTarnTable& t, const char* field, const QString& value) {
    Unfiltered(t);
    return t.Locate(N(field), TVariant(QStringToAnsi(value)), 0);
}

// The version row named `name`; of file `fileNo` unless that is 0.
bool LocateVersion(TTarnTable& t, int32_t fileNo, const QString& name) {
    Unfiltered(t);
    if (fileNo == 0) return t.Locate(N(kVersion), TVariant(QStringToAnsi(name)), 0);
    return t.Locate(N(kFileNo) + ";" + N(kVersion),
                    TVariant::Array({TVariant(fileNo), TVariant(QStringToAnsi(name))}), 0);
}

std::vector<TFileRow> FileRows(TTarnTable& t) {
    // The fields are looked up once: a monitoring pass reads every row.
    tarn::TField* const fileNo = F(t, kFileNo);
    tarn::TField* const areaNo = F(t, kAreaNo);
    tarn::TField* const source = F(t, kSource);
    tarn::TField* const backup = F(t, kBackup);
    tarn::TField* const size = F(t, kSize);
    std::vector<TFileRow> rows;
    for (t.First(); !t.Eof(); t.Next())
        rows.push_back({fileNo->AsInteger(), areaNo->AsInteger(), AnsiToQString(source->AsString()),
                        AnsiToQString(backup->AsString()), AnsiToQString(size->AsString())});
    return rows;
}

// The same message with `from` (the catalogue's native path) replaced by `to` (its
// GB18030 form).
std::string Reencode(std::string message, const std::string& from, const std::string& to) {
    if (from.empty() || from == to) return message;
    for (size_t at = message.find(from); at != std::string::npos;
         at = message.find(from, at + to.size()))
        message.replace(at, from.size(), to);
    return message;
}

// Makes the catalogue with its three tables at `path` (native bytes). Built under a
// temporary name so that a failure leaves nothing that looks like a catalogue.
void CreateCatalogue(const QString& path) {
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) {
        throw tarn::EFOpenError(QStringToAnsi(
            QStringLiteral("Cannot create directory \"%1\"").arg(info.absolutePath())));
    }
    const std::string target = QFile::encodeName(path).toStdString();
    const std::string temp = target + ".new";
    std::remove(temp.c_str());  // left by a creation that was interrupted
    try {
        using tarn::TTarnDBCreator;
        constexpr tarn::TFieldType str = tarn::ftString, integer = tarn::ftInteger,
                                   autoInc = tarn::ftAutoInc, text = tarn::ftMemo;
        // The same tables and fields as ever, but the long texts (paths, descriptions) are
        // memo fields of a compressed database: a fixed-width field takes its full width in
        // every row (some 6 KB a version), a memo only what its text takes, compressed.
        // Everything that reads the catalogue reads both kinds alike.
        tarn::TDatabaseSettings settings;
        settings.compressed = true;
        TTarnDBCreator::CreateDatabase(temp, settings);
        TTarnDBCreator::AddTable(
            temp, N(kAreaTable),
            {{N(kAreaNo), autoInc}, {N(kName), str, TCatalogue::kNameBytes}, {N(kDir), text}});
        TTarnDBCreator::AddTable(temp, N(kFileTable),
                                 {{N(kFileNo), autoInc},
                                  {N(kAreaNo), integer},
                                  {N(kSource), text},
                                  {N(kBackup), text},
                                  {N(kSize), str, TCatalogue::kTimeBytes}});
        TTarnDBCreator::AddTable(temp, N(kVersionTable),
                                 {{N(kFileNo), integer},
                                  {N(kVersion), str, TCatalogue::kTimeBytes},
                                  {N(kCopy), text},
                                  {N(kRemark), text},
                                  {N(kSize), str, TCatalogue::kTimeBytes},
                                  {N(kExt), str, TCatalogue::kExtBytes}});
        AddRetainTable(temp);
        AddFolderTable(temp);
        if (std::rename(temp.c_str(), target.c_str()) != 0) {
            throw tarn::EFOpenError(
                QStringToAnsi(QStringLiteral("Cannot create file \"%1\". %2")
                                  .arg(path, QString::fromLocal8Bit(std::strerror(errno)))));
        }
    } catch (...) {
        std::remove(temp.c_str());
        throw;
    }
}

}  // namespace

TCatalogue::TCatalogue()
    : Tbarea(std::make_unique<TTarnTable>(nullptr, "Tbarea")),
      Tbfileid(std::make_unique<TTarnTable>(nullptr, "Tbfileid")),
      Tbfilever(std::make_unique<TTarnTable>(nullptr, "Tbfilever")),
      Tbretain(std::make_unique<TTarnTable>(nullptr, "Tbretain")),
      Tbfolder(std::make_unique<TTarnTable>(nullptr, "Tbfolder")) {}

// The tables close as they go; the last one frees the shared database.
TCatalogue::~TCatalogue() = default;

void TCatalogue::RequireOpen() const {
    if (open_) return;
    if (nativePath_.empty())
        throw tarn::EDatabaseError(
            QStringToAnsi(QCoreApplication::translate("filever", "版本目录没有打开")));
    const QString path = QFile::decodeName(QByteArray::fromStdString(nativePath_));
    throw tarn::EDatabaseError(
        QStringToAnsi(QCoreApplication::translate("filever", "版本目录“%1”没有打开：%2")
                          .arg(path, openFailure_)));
}

template <typename F>
auto TCatalogue::Engine(F&& action, bool opening) -> decltype(action()) {
    if (!opening) RequireOpen();
    const std::string ansi =
        QStringToAnsi(QFile::decodeName(QByteArray::fromStdString(nativePath_)));
    try {
        return action();
    } catch (const tarn::EDatabaseError& e) {
        throw tarn::EDatabaseError(Reencode(e.Message(), nativePath_, ansi));
    } catch (const tarn::EFOpenError& e) {
        throw tarn::EFOpenError(Reencode(e.Message(), nativePath_, ansi));
    } catch (const tarn::EInOutError& e) {
        throw tarn::EInOutError(Reencode(e.Message(), nativePath_, ansi));
    }
}

void TCatalogue::Open(const QString& path) {
    nativePath_ = QFile::encodeName(path).toStdString();
    open_ = false;
    openFailure_ = QStringLiteral("Unknown error");
    try {
        Engine([&] { OpenTables(path); }, true);
    } catch (const tarn::Exception& e) {
        openFailure_ = AnsiToQString(e.Message());
        throw;
    } catch (const std::exception& e) {
        openFailure_ = QString::fromUtf8(e.what());
        throw;
    }
    open_ = true;
    openFailure_.clear();
}

void TCatalogue::OpenTables(const QString& path) {
    if (!QFileInfo::exists(path)) CreateCatalogue(path);
    const std::pair<TTarnTable*, const char*> tables[] = {
        {Tbarea.get(), kAreaTable}, {Tbfileid.get(), kFileTable}, {Tbfilever.get(), kVersionTable}};
    for (const auto& [table, name] : tables) {
        table->Close();
        table->SetDatabaseName(nativePath_);
        table->SetTableName(N(name));
    }
    for (const auto& [table, name] : tables) {
        table->Open();
        table->First();
    }
    OpenRetainTable();
}

void TCatalogue::OpenRetainTable() {
    retainFailure_ = OpenAddedTable(*Tbretain, kRetainTable, AddRetainTable);
    folderFailure_ = OpenAddedTable(*Tbfolder, kFolderTable, AddFolderTable);
}

QString TCatalogue::OpenAddedTable(TTarnTable& added, const char* tableName,
                                   void (*create)(const std::string&)) {
    added.Close();
    std::vector<std::string> names;
    Tbarea->Database()->ListTableNames(names);
    bool present = false;
    for (const std::string& name : names)
        present |=
            AnsiToQString(name).compare(QString::fromUtf8(tableName), Qt::CaseInsensitive) == 0;
    try {
        if (!present) {
            // A catalogue from before this table: it is added beside the others, with the
            // open tables closed so that they see it.
            const std::pair<TTarnTable*, const char*> tables[] = {{Tbarea.get(), kAreaTable},
                                                                  {Tbfileid.get(), kFileTable},
                                                                  {Tbfilever.get(), kVersionTable}};
            std::vector<TTarnTable*> reopen;
            for (const auto& [table, name] : tables) reopen.push_back(table);
            for (TTarnTable* t : {Tbretain.get(), Tbfolder.get()})
                if (t != &added && t->Active()) reopen.push_back(t);
            for (TTarnTable* t : reopen) t->Close();
            try {
                create(nativePath_);
            } catch (...) {
                for (TTarnTable* t : reopen) t->Open();
                throw;
            }
            for (TTarnTable* t : reopen) {
                t->Open();
                t->First();
            }
        }
        added.SetDatabaseName(nativePath_);
        added.SetTableName(N(tableName));
        added.Open();
    } catch (const tarn::Exception& e) {
        // Everything else works without it.
        return AnsiToQString(e.Message());
    }
    return QString();
}

TRetentionPolicy TCatalogue::Retention(int32_t areaNo) {
    return Engine([&] {
        TRetentionPolicy policy;
        if (!retainFailure_.isEmpty()) return policy;
        TTarnTable& t = *Tbretain;
        Unfiltered(t);
        if (!t.Locate(N(kAreaNo), TVariant(areaNo), 0)) return policy;
        const int mode = Int(t, kMode);
        if (mode >= 0 && mode <= 2) policy.Mode = static_cast<TRetentionMode>(mode);
        policy.KeepCount = std::max(1, Int(t, kKeepCount));
        policy.SizeCapBytes = std::max<qlonglong>(0, Str(t, kSizeCap).toLongLong());
        return policy;
    });
}

void TCatalogue::SetRetention(int32_t areaNo, const TRetentionPolicy& policy) {
    Engine([&] {
        if (!retainFailure_.isEmpty())
            throw tarn::EDatabaseError(
                QStringToAnsi(QCoreApplication::translate("filever", "保留策略无法保存：%1")
                                  .arg(retainFailure_)));
        TTarnTable& t = *Tbretain;
        Unfiltered(t);
        const bool found = t.Locate(N(kAreaNo), TVariant(areaNo), 0);
        Write(t, !found, {{kSizeCap, std::to_string(policy.SizeCapBytes)}}, [&] {
            F(t, kAreaNo)->SetAsInteger(areaNo);
            F(t, kMode)->SetAsInteger(static_cast<int>(policy.Mode));
            F(t, kKeepCount)->SetAsInteger(policy.KeepCount);
        });
    });
}

int32_t TCatalogue::AddFolder(int32_t areaNo, const QString& path, bool subfolders,
                              const QString& exclusions) {
    return Engine([&] {
        if (!folderFailure_.isEmpty())
            throw tarn::EDatabaseError(
                QStringToAnsi(QCoreApplication::translate("filever", "监控目录无法保存：%1")
                                  .arg(folderFailure_)));
        TTarnTable& t = *Tbfolder;
        Unfiltered(t);
        Write(t, true, {{kDir, QStringToAnsi(path)}, {kExclusions, QStringToAnsi(exclusions)}},
              [&] {
                  F(t, kAreaNo)->SetAsInteger(areaNo);
                  F(t, kSubfolders)->SetAsInteger(subfolders ? 1 : 0);
              });
        return Int(t, kFolderNo);
    });
}

std::vector<TFolderRow> TCatalogue::Folders() {
    return Engine([&] {
        std::vector<TFolderRow> rows;
        if (!folderFailure_.isEmpty()) return rows;
        TTarnTable& t = *Tbfolder;
        for (Unfiltered(t); !t.Eof(); t.Next())
            rows.push_back({Int(t, kFolderNo), Int(t, kAreaNo), Str(t, kDir),
                            Int(t, kSubfolders) != 0, Str(t, kExclusions)});
        return rows;
    });
}

bool TCatalogue::RemoveFolder(int32_t folderNo) {
    return Engine([&] {
        if (!folderFailure_.isEmpty()) return false;
        Unfiltered(*Tbfolder);
        if (!Tbfolder->Locate(N(kFolderNo), TVariant(folderNo), 0)) return false;
        Tbfolder->Delete();
        return true;
    });
}

std::vector<TAreaRow> TCatalogue::Areas() {
    return Engine([&] {
        std::vector<TAreaRow> rows;
        TTarnTable& t = *Tbarea;
        Unfiltered(t);
        for (; !t.Eof(); t.Next()) rows.push_back({Int(t, kAreaNo), Str(t, kName), Str(t, kDir)});
        return rows;
    });
}

std::vector<TFileRow> TCatalogue::FilesOfArea(int32_t areaNo) {
    return Engine([&] {
        FilteredBy(*Tbfileid, Filter(kAreaNo, areaNo));
        return FileRows(*Tbfileid);
    });
}

std::vector<QString> TCatalogue::VersionNamesOfFile(int32_t fileNo) {
    return Engine([&] {
        TTarnTable& t = *Tbfilever;
        FilteredBy(t, Filter(kFileNo, fileNo));
        std::vector<QString> names;
        for (t.First(); !t.Eof(); t.Next()) names.push_back(Str(t, kVersion));
        return names;
    });
}

std::map<int32_t, std::vector<QString>> TCatalogue::AllVersionNames() {
    return Engine([&] {
        std::map<int32_t, std::vector<QString>> out;
        TTarnTable& t = *Tbfilever;
        tarn::TField* const fileNo = F(t, kFileNo);
        tarn::TField* const name = F(t, kVersion);
        for (Unfiltered(t); !t.Eof(); t.Next())
            out[fileNo->AsInteger()].push_back(AnsiToQString(name->AsString()));
        return out;
    });
}

std::vector<TFileRow> TCatalogue::AllFiles() {
    return Engine([&] {
        Unfiltered(*Tbfileid);
        return FileRows(*Tbfileid);
    });
}

void TCatalogue::FindFileByPath(const QString& path, verinfo& rec) {
    Engine([&] {
        if (!LocateExact(*Tbfileid, kSource, path)) return;
        rec.FileNo = Int(*Tbfileid, kFileNo);
        rec.FilePath = Str(*Tbfileid, kSource);
    });
}

void TCatalogue::FindVersionByName(const QString& name, verinfo& rec, int32_t fileNo) {
    Engine([&] {
        TTarnTable& t = *Tbfilever;
        if (!LocateVersion(t, fileNo, name)) return;
        rec.FileNo = Int(t, kFileNo);
        rec.VerName = Str(t, kVersion);
        rec.FilePath = Str(t, kCopy);
        rec.Remark = Str(t, kRemark);
        rec.SizeText = Str(t, kSize);
        rec.FileExt = Str(t, kExt);
    });
}

void TCatalogue::Transaction(const std::function<void()>& work) {
    Engine([&] {
        tarn::TTarnDatabase* db = Tbarea->Database();
        if (!db)
            throw tarn::EDatabaseError(
                QStringToAnsi(QCoreApplication::translate("filever", "版本目录没有打开")));
        if (db->InTransaction()) return work();
        db->StartTransaction();
        try {
            work();
        } catch (...) {
            try {
                if (db->InTransaction()) db->Rollback();
            } catch (...) {
                // The first error is the one to report; the journal undoes the rest at the
                // next open.
            }
            throw;
        }
        // A commit that fails has rolled back by itself.
        db->Commit();
    });
}

int32_t TCatalogue::AddArea(const QString& name, const QString& dir) {
    return Engine([&] {
        Write(*Tbarea, true, {{kName, QStringToAnsi(name)}, {kDir, QStringToAnsi(dir)}}, [] {});
        return Int(*Tbarea, kAreaNo);
    });
}

bool TCatalogue::FindArea(const QString& name, TAreaRow& out) {
    return Engine([&] {
        if (!LocateExact(*Tbarea, kName, name)) return false;
        out = {Int(*Tbarea, kAreaNo), Str(*Tbarea, kName), Str(*Tbarea, kDir)};
        return true;
    });
}

int32_t TCatalogue::AddFile(int32_t areaNo, const QString& sourcePath, const QString& backupDir) {
    return Engine([&] {
        // Every copy of the file will be named "<backup dir>/<base>{<version>}<ext>", with
        // a version name of a fixed width: make sure such a path fits before registering.
        const std::vector<TValue> values = {{kSource, QStringToAnsi(sourcePath)},
                                            {kBackup, QStringToAnsi(backupDir)}};
        CheckWidths(*Tbfileid, values);
        const QString copy = backupDir + QLatin1Char('/') +
                             VersionCopyName(sourcePath, QStringLiteral("0000-00-00-00-00-00"));
        CheckWidths(*Tbfilever, {{kCopy, QStringToAnsi(copy)}});
        Write(*Tbfileid, true, values, [&] { F(*Tbfileid, kAreaNo)->SetAsInteger(areaNo); });
        return Int(*Tbfileid, kFileNo);
    });
}

bool TCatalogue::RemoveFileNo(int32_t fileNo) {
    return Engine([&] {
        Unfiltered(*Tbfileid);
        if (!Tbfileid->Locate(N(kFileNo), TVariant(fileNo), 0)) return false;
        Tbfileid->Delete();
        return true;
    });
}

bool TCatalogue::RemoveArea(int32_t areaNo) {
    return Engine([&] {
        Unfiltered(*Tbarea);
        if (!Tbarea->Locate(N(kAreaNo), TVariant(areaNo), 0)) return false;
        Tbarea->Delete();
        if (retainFailure_.isEmpty()) {
            Unfiltered(*Tbretain);
            if (Tbretain->Locate(N(kAreaNo), TVariant(areaNo), 0)) Tbretain->Delete();
        }
        if (folderFailure_.isEmpty()) {
            Unfiltered(*Tbfolder);
            while (Tbfolder->Locate(N(kAreaNo), TVariant(areaNo), 0)) Tbfolder->Delete();
        }
        return true;
    });
}

std::vector<TVersionRow> TCatalogue::VersionsOfFile(int32_t fileNo) {
    return Engine([&] {
        TTarnTable& t = *Tbfilever;
        FilteredBy(t, Filter(kFileNo, fileNo));
        std::vector<TVersionRow> rows;
        for (t.First(); !t.Eof(); t.Next())
            rows.push_back({Int(t, kFileNo), Str(t, kVersion), Str(t, kCopy), Str(t, kRemark),
                            Str(t, kSize), Str(t, kExt)});
        return rows;
    });
}

std::map<int32_t, std::vector<TVersionRow>> TCatalogue::VersionsOfFiles(
    const std::vector<int32_t>& fileNos) {
    return Engine([&] {
        std::map<int32_t, std::vector<TVersionRow>> out;
        for (int32_t no : fileNos) out[no];
        TTarnTable& t = *Tbfilever;
        tarn::TField* const fileNo = F(t, kFileNo);
        for (Unfiltered(t); !t.Eof(); t.Next()) {
            // The other fields (memo texts among them) are read for the files asked for only.
            const auto it = out.find(fileNo->AsInteger());
            if (it == out.end()) continue;
            it->second.push_back({it->first, Str(t, kVersion), Str(t, kCopy), Str(t, kRemark),
                                  Str(t, kSize), Str(t, kExt)});
        }
        return out;
    });
}

bool TCatalogue::RemoveVersion(const TVersionRow& row) {
    return Engine([&] {
        TTarnTable& t = *Tbfilever;
        Unfiltered(t);
        const bool found =
            t.Locate(N(kFileNo) + ";" + N(kVersion) + ";" + N(kCopy),
                     TVariant::Array({TVariant(row.FileNo), TVariant(QStringToAnsi(row.VerName)),
                                      TVariant(QStringToAnsi(row.FilePath))}),
                     0);
        if (found) t.Delete();
        return found;
    });
}

bool TCatalogue::CopyInUse(const QString& copyPath) {
    return Engine([&] { return LocateExact(*Tbfilever, kCopy, copyPath); });
}

bool TCatalogue::RemoveFile(const QString& sourcePath) {
    return Engine([&] {
        if (!LocateExact(*Tbfileid, kSource, sourcePath)) return false;
        Tbfileid->Delete();
        return true;
    });
}

bool TCatalogue::FindFileIgnoreCase(const QString& path, TFileRow& out) {
    return Engine([&] {
        TTarnTable& t = *Tbfileid;
        Unfiltered(t);
        if (!t.Locate(N(kSource), TVariant(QStringToAnsi(path)), tarn::loCaseInsensitive))
            return false;
        out = {Int(t, kFileNo), Int(t, kAreaNo), Str(t, kSource), Str(t, kBackup), Str(t, kSize)};
        return true;
    });
}

void TCatalogue::SetRecordedTime(int32_t fileNo, const QString& time) {
    Engine([&] {
        TTarnTable& t = *Tbfileid;
        Unfiltered(t);
        if (!t.Locate(N(kFileNo), TVariant(fileNo), 0)) return;
        Write(t, false, {{kSize, QStringToAnsi(time)}}, [] {});
    });
}

void TCatalogue::SetRecordedTimes(const std::map<int32_t, QString>& times) {
    Engine([&] {
        TTarnTable& t = *Tbfileid;
        tarn::TField* const fileNo = F(t, kFileNo);
        size_t left = times.size();
        for (Unfiltered(t); left > 0 && !t.Eof(); t.Next()) {
            const auto it = times.find(fileNo->AsInteger());
            if (it == times.end()) continue;
            Write(t, false, {{kSize, QStringToAnsi(it->second)}}, [] {});
            --left;
        }
    });
}

void TCatalogue::AddVersion(const TVersionRow& row, verinfo& rec) {
    Engine([&] {
        TTarnTable& t = *Tbfilever;
        Write(t, true,
              {{kVersion, QStringToAnsi(row.VerName)},
               {kCopy, QStringToAnsi(row.FilePath)},
               {kRemark, QStringToAnsi(row.Remark)},
               {kSize, QStringToAnsi(row.SizeText)},
               {kExt, QStringToAnsi(row.FileExt)}},
              [&] { F(t, kFileNo)->SetAsInteger(row.FileNo); });
        // The row just appended is the current one.
        rec.FileNo = Int(t, kFileNo);
        rec.VerName = Str(t, kVersion);
        rec.FilePath = Str(t, kCopy);
        rec.Remark = Str(t, kRemark);
        rec.SizeText = Str(t, kSize);
        rec.FileExt = Str(t, kExt);
    });
}

bool TCatalogue::SetVersionDescription(int32_t fileNo, const QString& name, const QString& text) {
    return Engine([&] {
        TTarnTable& t = *Tbfilever;
        if (!LocateVersion(t, fileNo, name)) return false;
        Write(t, false, {{kRemark, QStringToAnsi(text)}}, [] {});
        return true;
    });
}

}  // namespace filever
