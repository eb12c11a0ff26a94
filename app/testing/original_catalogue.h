// A catalogue file with the three tables only, laid out as the first catalogues were made:
// for tests of opening an older catalogue (tables added later are added on open).
#pragma once

#include <string>

#include "platform/text/codepage.h"
#include "tarndb/creator.h"

namespace filever::testing {

inline void CreateOriginalCatalogue(const std::string& path) {
    const auto N = [](const char* s) { return tarn::Utf8ToAnsi(s); };
    tarn::TTarnDBCreator::CreateDatabase(path);
    tarn::TTarnDBCreator::AddTable(path, N("数据存储区"),
                                   {{N("存储区序号"), tarn::ftAutoInc},
                                    {N("名称"), tarn::ftString, 255},
                                    {N("目录"), tarn::ftString, 2048}});
    tarn::TTarnDBCreator::AddTable(path, N("文件索引表"),
                                   {{N("文件序号"), tarn::ftAutoInc},
                                    {N("存储区序号"), tarn::ftInteger},
                                    {N("源文件名称"), tarn::ftString, 2048},
                                    {N("备份文件目录"), tarn::ftString, 2048},
                                    {N("大小"), tarn::ftString, 32}});
    tarn::TTarnDBCreator::AddTable(path, N("文件版本表"),
                                   {{N("文件序号"), tarn::ftInteger},
                                    {N("版本"), tarn::ftString, 32},
                                    {N("文件名称"), tarn::ftString, 2048},
                                    {N("说明"), tarn::ftString, 4096},
                                    {N("大小"), tarn::ftString, 32},
                                    {N("文件扩展名"), tarn::ftString, 255}});
}

}  // namespace filever::testing
