// The checker's overlap pass: no two structures of the file may share a byte.
#include <algorithm>

#include "tarndb/check/check_internal.h"

namespace tarn::check {

namespace {
constexpr int64_t kOverlapsReported = 20;
}  // namespace

std::string Checker::ExtentText(const Extent& e) const {
    const TableInfo* t = nullptr;
    for (const TableInfo& ti : tables_)
        if (ti.number == e.table) t = &ti;
    std::string table = t ? "table " + Shown(t->name) : "table " + std::to_string(e.table);
    std::string where = " [" + std::to_string(e.start) + ", " + std::to_string(e.end) + ")";
    switch (e.kind) {
        case Kind::FileHead:
            return "the file head and settings" + where;
        case Kind::TableHeader:
            return "the header of " + table + where;
        case Kind::RecordBlock:
            return "record-table block " + std::to_string(e.record) + " of " + table + where;
        case Kind::IndexBlock:
            return "index-table block " + std::to_string(e.record) + " of index " +
                   (t && e.detail >= 0 && static_cast<size_t>(e.detail) < t->indexes.size()
                        ? Shown(t->indexes[static_cast<size_t>(e.detail)].name)
                        : std::to_string(e.detail)) +
                   " of " + table + where;
        case Kind::RecordData:
            return "the data of record " + std::to_string(e.record) + " of " + table + where;
        case Kind::BlobArea:
            return "the blob area of field " +
                   (t ? FieldName(*t, e.detail) : std::to_string(e.detail)) + " of record " +
                   std::to_string(e.record) + " of " + table + where;
    }
    return where;
}

void Checker::CheckOverlaps() {
    std::sort(extents_.begin(), extents_.end(), [](const Extent& a, const Extent& b) {
        return a.start != b.start ? a.start < b.start : a.end < b.end;
    });
    int64_t found = 0;
    size_t reach = 0;  // the extent seen so far that reaches furthest
    for (size_t i = 1; i < extents_.size(); ++i) {
        const Extent& e = extents_[i];
        const Extent& r = extents_[reach];
        if (e.start < r.end) {
            if (found++ < kOverlapsReported) {
                // The report belongs to the record-level structure of the two, blobs first:
                // their descriptors are what most often points astray.
                auto rank = [](const Extent& x) {
                    return x.kind == Kind::BlobArea ? 2 : x.kind == Kind::RecordData ? 1 : 0;
                };
                const Extent& subject = rank(e) >= rank(r) ? e : r;
                const Extent& other = &subject == &e ? r : e;
                const TableInfo* t = nullptr;
                for (const TableInfo& ti : tables_)
                    if (ti.number == subject.table) t = &ti;
                int64_t record = rank(subject) > 0 ? subject.record : -1;
                Problem(t, record, ExtentText(subject) + " overlaps " + ExtentText(other));
            }
        }
        if (e.end > extents_[reach].end) reach = i;
    }
    if (found > kOverlapsReported)
        FileProblem(std::to_string(found - kOverlapsReported) + " more overlapping structures");
}

}  // namespace tarn::check
