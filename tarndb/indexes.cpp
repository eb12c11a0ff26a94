#include "tarndb/indexes.h"

#include "platform/errors.h"
#include "tarndb/file_io.h"

namespace tarn {

namespace {
void RefuseIndexedWrite(TTarnTableIO& table) {
    if (table.IndexCount() > 0)
        throw EDatabaseError(Format("Table '%s' has indexes; writing indexed tables is not available yet",
                                    table.TableName().c_str()));
}
}  // namespace

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
