#include "tarndb/table_rows.h"

#include <vector>

#include "tarndb/errors.h"
#include "tarndb/field_buffers.h"
#include "tarndb/indexes.h"
#include "tarndb/table_io.h"

namespace tarn {

int32_t RecordNumberOf(const TTarnTable& table, int recNo) {
    const TRecordList* view = table.ViewList();
    if (view == nullptr) throw EDatabaseError("Dataset not open");
    if (recNo < 1 || recNo > view->Count()) throw EDatabaseError("Record not found");
    return view->At(recNo - 1).recNo;
}

bool HasUniqueIndex(const TTarnTable& table) {
    TTarnTableIO* io = table.TableIO();
    if (io == nullptr) return false;
    for (int i = 0; i < io->IndexCount(); ++i)
        if (io->IndexDefs()[i].Options.Has(tiPrimary) || io->IndexDefs()[i].Options.Has(tiUnique))
            return true;
    return false;
}

void CheckUniqueKeys(TTarnTable& table) {
    if (table.State() != dsInsert) throw EDatabaseError("Dataset not in edit or insert mode");
    TTarnTableIO* io = table.TableIO();
    if (io == nullptr || !HasUniqueIndex(table)) return;
    // The row's values as the storage reads them: one slot per field of the table, in the
    // record-buffer encoding the fields give natively. Keys never hold blob fields.
    std::vector<std::vector<uint8_t>> values(static_cast<size_t>(io->FieldCount()));
    TFieldBuffers buffers;
    for (int i = 0; i < io->FieldCount(); ++i) {
        TField* field = table.FieldByNumber(i + 1);
        std::vector<uint8_t>& v = values[static_cast<size_t>(i)];
        if (field == nullptr || field->IsBlob()) {
            buffers.AddInactive();
            continue;
        }
        v.assign(static_cast<size_t>(io->SlotSize(i)), 0);
        field->GetData(v);
        buffers.Add(v.data(), io->FieldDefs()[i].FieldType, io->SlotSize(i));
    }
    TTableIndexes::CheckUniqueForAdd(*io, buffers);
}

}  // namespace tarn
