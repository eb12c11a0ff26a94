// The body of the file-opening fuzz target, shared with the regression test that replays
// the kept inputs: open arbitrary bytes as a memory database, list its tables, load every
// table (header, record table, index chains) and read its first records with every field,
// blob values included. Any outcome but a clean load or a tarn::Exception is a bug.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tarndb/database.h"
#include "tarndb/errors.h"
#include "tarndb/memory_registry.h"
#include "tests/support/table_fixture.h"

namespace tarn::fuzz {

inline void OpenDatabaseBytes(const uint8_t* data, size_t size) {
    TMemoryStream stream(std::string(reinterpret_cast<const char*>(data), size));
    std::string name = RegisterMemoryStream(&stream);
    try {
        TTarnDatabase db(nullptr, "");
        db.SetDatabaseName(name);
        db.SetMediumType(TTarnDBMediumType::mtMemory);
        db.Open();
        db.SupplyPassword("fuzz");
        std::vector<std::string> names;
        db.ListTableNames(names);
        for (const std::string& table : names) {
            TTarnTableIO* storage = db.FindTableStorage(table);
            if (!storage) continue;
            try {
                storage->AcquireTable();
                testing::RecordBuffer rec(*storage);
                int n = storage->RecordList(0).Count();
                for (int p = 0; p < n && p < 64; ++p) {
                    rec.Fetch(0, p);
                    for (int f = 0; f < storage->FieldCount(); ++f)
                        if (IsBlobType(storage->FieldDefs()[f].FieldType)) rec.BlobValue(f);
                }
                for (int list = 1; list < storage->ListCount(); ++list)
                    if (storage->RecordList(list).Count() > 0) rec.Fetch(list, 0);
                storage->ReleaseTable();
            } catch (const Exception&) {
                storage->ReleaseTable();
            }
        }
    } catch (const Exception&) {
    }
    UnregisterMemoryStream(name);
}

}  // namespace tarn::fuzz
