// Row questions a program asks of an open table beyond the dataset's own interface: the
// record number the file gives a row (the number `CheckDatabaseFile` and the engine's
// messages name), and whether the row being inserted would be refused for a key that a
// unique index holds already, asked before anything is written.
//
// Used on the thread that owns the table, as the table itself.
#pragma once

#include <cstdint>

#include "tarndb/table.h"

namespace tarn {

// The record number of the row at `recNo` (1-based, as TDataSet::RecNo counts the rows in
// view) of the open `table`: the row's place among every record ever appended to the table,
// counted from 0. Raises: EDatabaseError "Dataset not open" when the table is closed,
// "Record not found" when `recNo` is outside the rows in view.
int32_t RecordNumberOf(const TTarnTable& table, int recNo);

// Whether a primary or unique index of the open `table` refuses repeated keys.
// False for a closed table. Raises: nothing.
bool HasUniqueIndex(const TTarnTable& table);

// The check Post makes before it appends, made without posting: raises the storage's
// EDatabaseError "Invalid unique field value '%s'" when the row `table` is inserting (state
// dsInsert) has the key of a record already in a primary or unique index. Writes nothing;
// the table stays in dsInsert. Raises also: EDatabaseError "Dataset not in edit or insert
// mode" in another state.
void CheckUniqueKeys(TTarnTable& table);

}  // namespace tarn
