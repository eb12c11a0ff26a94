// Test double of the catalogue: three vectors in place of the three tables, with the
// row semantics the callers rely on (auto-numbers, table order, whole-value lookups, the
// first match wins). For tests that isolate a caller's behaviour (widgets, a failing
// step); the program, and tests of what is stored, use TCatalogue on a real file.
#pragma once

#include <algorithm>
#include <vector>

#include "app/catalogue.h"
#include "app/version_search.h"

namespace filever::testing {

class CatalogueDouble final : public TCatalogue {
public:
    std::vector<TAreaRow> areas;
    std::vector<TFileRow> files;
    std::vector<TVersionRow> versions;
    QString openedPath;
    int nextArea = 1;
    int nextFile = 1;

    void Open(const QString& path) override { openedPath = path; }
    std::vector<TAreaRow> Areas() override { return areas; }
    std::vector<TFileRow> FilesOfArea(int32_t areaNo) override {
        std::vector<TFileRow> out;
        for (const auto& f : files)
            if (f.AreaNo == areaNo) out.push_back(f);
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
    void AddArea(const QString& name, const QString& dir) override {
        areas.push_back({nextArea++, name, dir});
    }
    bool FindArea(const QString& name, TAreaRow& out) override {
        for (const auto& a : areas)
            if (a.Name == name) {
                out = a;
                return true;
            }
        return false;
    }
    void AddFile(int32_t areaNo, const QString& path, const QString& backupDir) override {
        files.push_back({nextFile++, areaNo, path, backupDir, QString()});
    }
    bool RemoveFile(const QString& path) override {
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
    void SetRecordedTime(int32_t fileNo, const QString& time) override {
        for (auto& f : files)
            if (f.FileNo == fileNo) {
                f.RecordedTime = time;
                return;
            }
    }
    void AddVersion(const TVersionRow& row, verinfo& rec) override {
        versions.push_back(row);
        Fill(row, rec);
    }
    bool SetVersionDescription(int32_t fileNo, const QString& name, const QString& text) override {
        for (auto& v : versions)
            if (v.VerName == name && (fileNo == 0 || v.FileNo == fileNo)) {
                v.Remark = text;
                return true;
            }
        return false;
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
