// The body of the file-opening fuzz target, shared with the regression test that replays
// the kept inputs: open arbitrary bytes as a memory database, list its tables and load
// every table's header, record table and index tables. Any outcome but a clean load or a
// tarn::Exception is a bug.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/streams/memory_registry.h"
#include "tarndb/file_io.h"

namespace tarn::fuzz {

inline void OpenDatabaseBytes(const uint8_t* data, size_t size) {
    TMemoryStream stream(std::string(reinterpret_cast<const char*>(data), size));
    std::string name = RegisterMemoryStream(&stream);
    try {
        TTarnDBFileIO io(nullptr, TTarnDBMediumType::mtMemory, false);
        io.OpenStorage(name, TTarnDBMediumType::mtMemory, false);
        std::vector<std::string> names;
        io.ListTableNames(names);
        for (int t = 0; t < io.TableCount(); ++t) {
            format::TableHeader header;
            io.ReadTableHeader(t, header);
            std::vector<format::RecordTabItem> items;
            std::vector<int32_t> blocks;
            io.ReadRecordTable(header, items, blocks);
            int indexes = header.IndexCount();
            for (int i = 0; i < indexes && i < format::kMaxIndexes; ++i) {
                std::vector<format::IndexTabItem> links;
                io.ReadIndexTable(header, i, links, blocks);
            }
        }
    } catch (const Exception&) {
    }
    UnregisterMemoryStream(name);
}

}  // namespace tarn::fuzz
