// Test double of the catalogue: three vectors in place of the three tables, with the
// row semantics the callers rely on (auto-numbers, table order, whole-value lookups, the
// first match wins). For tests that isolate a caller's behaviour (widgets, a failing
// step); the program, and tests of what is stored, use TCatalogue on a real file.
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <vector>

#include "app/catalogue.h"
#include "app/version_search.h"

namespace filever::testing {

class CatalogueDouble final : public TCatalogue {
public:
    std::vector<TAreaRow> areas;
    std::vector<TFileRow> files;
    std::vector<TVersionRow> versions;
    std::map<int32_t, TRetentionPolicy> retention;
    std::vector<TFolderRow> folders;
    int nextFolder = 1;
    QString openedPath;
    int nextArea = 1;
    int nextFile = 1;
    // Called before every write with the method's name; a test throws from it to fail
    // that write.
    std::function<void(const QString& method)> beforeWrite;
    int transactions = 0;  // outermost transactions begun

    void Transaction(const std::function<void()>& work) override {
        if (inTransaction_) return work();
        ++transactions;
        const auto a = areas;
        const auto f = files;
        const auto v = versions;
        const auto r = retention;
        const auto d = folders;
        const int na = nextArea, nf = nextFile, nd = nextFolder;
        inTransaction_ = true;
        try {
            work();
        } catch (...) {
            inTransaction_ = false;
            areas = a;
            files = f;
            versions = v;
            retention = r;
            folders = d;
            nextArea = na;
            nextFile = nf;
            nextFolder = nd;
            throw;
        }
        inTransaction_ = false;
    }

    void Open(const QString& path) override { openedPath = path; }
    std::vector<TAreaRow> Areas() override { return areas; }
    std::vector<TFileRow> FilesOfArea(int32_t areaNo) override {
        std::vector<TFileRow> out;
        for (const auto& f : files)
            if (f.AreaNo == areaNo) out.push_back(f);
        return out;
    }
    std::map<int32_t, std::vector<QString>> AllVersionNames() override {
        std::map<int32_t, std::vector<QString>> out;
        for (const TVersionRow& v : versions) out[v.FileNo].push_back(v.VerName);
        return out;
    }
    std::vector<QString> VersionNamesOfFile(int32_t fileNo) override {
        std::vector<QString> out;
        for (const auto& v : versions)
            if (v.FileNo == fileNo) out.push_back(v.VerName);
        return out;
    }
    std::vector<TFileRow> AllFiles() override { return files; }
    void FindFileByPath(const QString& path, verinfo& rec) override {
        for (const auto& f : files)
            if (f.SourcePath == path) {
                rec.FileNo = f.FileNo;
                rec.FilePath = f.SourcePath;
                return;
            }
    }
    void FindVersionByName(const QString& name, verinfo& rec, int32_t fileNo = 0) override {
        for (const auto& v : versions)
            if (v.VerName == name && (fileNo == 0 || v.FileNo == fileNo)) {
                Fill(v, rec);
                return;
            }
    }
    int32_t AddArea(const QString& name, const QString& dir) override {
        Writing("AddArea");
        areas.push_back({nextArea, name, dir});
        return nextArea++;
    }
    bool FindArea(const QString& name, TAreaRow& out) override {
        for (const auto& a : areas)
            if (a.Name == name) {
                out = a;
                return true;
            }
        return false;
    }
    int32_t AddFile(int32_t areaNo, const QString& path, const QString& backupDir) override {
        Writing("AddFile");
        files.push_back({nextFile, areaNo, path, backupDir, QString()});
        return nextFile++;
    }
    bool RemoveFile(const QString& path) override {
        Writing("RemoveFile");
        auto it = std::find_if(files.begin(), files.end(),
                               [&](const TFileRow& f) { return f.SourcePath == path; });
        if (it == files.end()) return false;
        files.erase(it);
        return true;
    }
    bool FindFileIgnoreCase(const QString& path, TFileRow& out) override {
        for (const auto& f : files)
            if (f.SourcePath.compare(path, Qt::CaseInsensitive) == 0) {
                out = f;
                return true;
            }
        return false;
    }
    bool RemoveFileNo(int32_t fileNo) override {
        Writing("RemoveFileNo");
        return std::erase_if(files, [&](const TFileRow& f) { return f.FileNo == fileNo; }) > 0;
    }
    bool RemoveArea(int32_t areaNo) override {
        Writing("RemoveArea");
        retention.erase(areaNo);
        std::erase_if(folders, [&](const TFolderRow& f) { return f.AreaNo == areaNo; });
        return std::erase_if(areas, [&](const TAreaRow& a) { return a.AreaNo == areaNo; }) > 0;
    }
    std::map<int32_t, std::vector<TVersionRow>> VersionsOfFiles(
        const std::vector<int32_t>& fileNos) override {
        std::map<int32_t, std::vector<TVersionRow>> out;
        for (int32_t no : fileNos) out[no] = VersionsOfFile(no);
        return out;
    }
    void SetRecordedTimes(const std::map<int32_t, QString>& times) override {
        for (const auto& [no, time] : times) SetRecordedTime(no, time);
    }
    std::vector<TVersionRow> VersionsOfFile(int32_t fileNo) override {
        std::vector<TVersionRow> out;
        for (const auto& v : versions)
            if (v.FileNo == fileNo) out.push_back(v);
        return out;
    }
    bool RemoveVersion(const TVersionRow& row) override {
        Writing("RemoveVersion");
        for (auto it = versions.begin(); it != versions.end(); ++it)
            if (it->FileNo == row.FileNo && it->VerName == row.VerName &&
                it->FilePath == row.FilePath) {
                versions.erase(it);
                return true;
            }
        return false;
    }
    bool CopyInUse(const QString& copyPath) override {
        return std::any_of(versions.begin(), versions.end(),
                           [&](const TVersionRow& v) { return v.FilePath == copyPath; });
    }
    void SetRecordedTime(int32_t fileNo, const QString& time) override {
        Writing("SetRecordedTime");
        for (auto& f : files)
            if (f.FileNo == fileNo) {
                f.RecordedTime = time;
                return;
            }
    }
    void AddVersion(const TVersionRow& row, verinfo& rec) override {
        Writing("AddVersion");
        versions.push_back(row);
        Fill(row, rec);
    }
    bool SetVersionDescription(int32_t fileNo, const QString& name, const QString& text) override {
        Writing("SetVersionDescription");
        for (auto& v : versions)
            if (v.VerName == name && (fileNo == 0 || v.FileNo == fileNo)) {
                v.Remark = text;
                return true;
            }
        return false;
    }

    TRetentionPolicy Retention(int32_t areaNo) override {
        const auto it = retention.find(areaNo);
        return it == retention.end() ? TRetentionPolicy{} : it->second;
    }
    void SetRetention(int32_t areaNo, const TRetentionPolicy& policy) override {
        Writing("SetRetention");
        retention[areaNo] = policy;
    }

    int32_t AddFolder(int32_t areaNo, const QString& path, bool subfolders,
                      const QString& exclusions) override {
        Writing("AddFolder");
        folders.push_back({nextFolder, areaNo, path, subfolders, exclusions});
        return nextFolder++;
    }
    std::vector<TFolderRow> Folders() override { return folders; }
    bool RemoveFolder(int32_t folderNo) override {
        Writing("RemoveFolder");
        return std::erase_if(folders, [&](const TFolderRow& f) { return f.FolderNo == folderNo; }) >
               0;
    }

    std::vector<verinfo> SearchVersions(const QString& word) override {
        std::vector<verinfo> out;
        for (const auto& v : versions) {
            verinfo rec;
            Fill(v, rec);
            if (VersionMatchesWord(rec, word)) out.push_back(rec);
        }
        return out;
    }

private:
    bool inTransaction_ = false;
    void Writing(const char* method) {
        if (beforeWrite) beforeWrite(QString::fromLatin1(method));
    }
    static void Fill(const TVersionRow& v, verinfo& rec) {
        rec.FileNo = v.FileNo;
        rec.VerName = v.VerName;
        rec.FilePath = v.FilePath;
        rec.Remark = v.Remark;
        rec.SizeText = v.SizeText;
        rec.FileExt = v.FileExt;
    }
};

}  // namespace filever::testing
