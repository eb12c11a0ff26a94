#include "tarndb/indexes.h"

#include "platform/errors.h"
#include "tarndb/blob_stream.h"
#include "tarndb/file_io.h"
#include "tarndb/filter/value_compare.h"

namespace tarn {

namespace {
void RefuseIndexedWrite(TTarnTableIO& table) {
    if (table.IndexCount() > 0)
        throw EDatabaseError(Format("Table '%s' has indexes; writing indexed tables is not available yet",
                                    table.TableName().c_str()));
}
}  // namespace

int TTableIndexes::CompareKey(TTarnTableIO& table, const TFieldBuffers& buffers, int32_t recNo, int index,
                              int fieldCount, bool partial) {
    const TTarnIndexDef& def = table.IndexDefs()[index];
    int n = static_cast<int>(def.KeyFields.size());
    if (fieldCount > 0 && fieldCount < n) n = fieldCount;
    bool nocase = (def.Options & tiCaseInsensitive) != 0;
    int result = 0;
    for (int k = 0; k < n && result == 0; ++k) {
        int field = def.KeyFields[static_cast<size_t>(k)];
        const TFieldBufferItem& item = buffers.Item(field);
        TMemoryStream stored;
        table.ReadStoredField(recNo, field, stored);
        std::span<const uint8_t> right(stored.Memory(), static_cast<size_t>(stored.Size()));
        std::span<const uint8_t> left;
        std::string blob;
        if (item.blob) {
            item.blob->SetPosition(0);
            blob = item.blob->Bytes();
            left = std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(blob.data()), blob.size());
        } else if (item.buffer) {
            left = std::span<const uint8_t>(item.buffer, static_cast<size_t>(item.dataSize));
        }
        result = CompareFieldValues(table.FieldDefs()[field].FieldType, left, right, nocase, partial);
    }
    return (def.Options & tiDescending) ? -result : result;
}

TKeySearch TTableIndexes::SearchKey(TTarnTableIO& table, const TFieldBuffers& buffers, const TRecordList& list,
                                    bool partial, int fieldCount, int index) {
    TKeySearch r;
    int lo = 0, hi = list.Count() - 1;
    while (lo <= hi) {
        r.position = (lo + hi) / 2;
        int c = CompareKey(table, buffers, list.At(r.position).recNo, index, fieldCount, partial);
        if (c == 0) {
            r.outcome = 0;
            break;
        }
        if (c < 0) {
            r.outcome = -1;
            hi = r.position - 1;
        } else {
            r.outcome = 1;
            lo = r.position + 1;
        }
    }
    return r;
}

TKeySearch TTableIndexes::SearchKeyBound(TTarnTableIO& table, const TFieldBuffers& buffers, const TRecordList& list,
                                         bool partial, int fieldCount, bool first, int index) {
    TKeySearch r;
    bool seenEqual = false;
    int lo = 0, hi = list.Count() - 1;
    while (lo <= hi) {
        int p = (lo + hi) / 2;
        int c = CompareKey(table, buffers, list.At(p).recNo, index, fieldCount, partial);
        if (!seenEqual) r.position = p;
        if (c > 0) {
            if (!seenEqual) r.outcome = 1;
            lo = p + 1;
        } else if (c < 0) {
            if (!seenEqual) r.outcome = -1;
            hi = p - 1;
        } else {
            seenEqual = true;
            r.outcome = 0;
            r.position = p;
            if (first)
                hi = p - 1;
            else
                lo = p + 1;
        }
    }
    return r;
}

void TTableIndexes::CheckUniqueForAdd(TTarnTableIO& table, TFieldBuffers&) { RefuseIndexedWrite(table); }

void TTableIndexes::CheckUniqueForModify(TTarnTableIO& table, TFieldBuffers&, int) { RefuseIndexedWrite(table); }

void TTableIndexes::LinkNewRecord(TTarnTableIO& table, TTarnDBFileIO&, TFieldBuffers&, const TRecordEntry& entry,
                                  const TInsertNotify& onInsert) {
    RefuseIndexedWrite(table);
    if (onInsert) onInsert(-1, -1, entry);
}

void TTableIndexes::RelinkRecord(TTarnTableIO& table, TTarnDBFileIO&, TFieldBuffers&, int, const TMoveNotify&) {
    RefuseIndexedWrite(table);
}

void TTableIndexes::UnlinkRecord(TTarnTableIO& table, int physicalPosition) {
    int32_t recNo = table.RecordList(0).At(physicalPosition).recNo;
    for (int list = 1; list < table.ListCount(); ++list) {
        int pos = table.RecordList(list).FindRecNo(recNo);
        if (pos >= 0) table.RecordList(list).Erase(pos);
    }
}

}  // namespace tarn
