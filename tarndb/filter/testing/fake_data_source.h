// A small in-memory record for exercising the filter language without a dataset: a list of
// fields laid out in one record buffer in the engine's encoding, blob texts on the side.
// Used by the filter's tests and its fuzz target; header-only so the library carries none
// of it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "tarndb/datetime.h"
#include "tarndb/filter/data_source.h"
#include "tarndb/filter/field_types.h"
#include "tarndb/filter/syntax_parser.h"
#include "tarndb/filter/value_codec.h"

namespace tarn::testing {

class FakeDataSource : public TFilterDataSource {
public:
    struct Field {
        std::string Name;
        TFilterField Info;
    };

    std::string Name = "Table1";
    std::vector<Field> Fields;
    std::vector<uint8_t> Record;
    std::map<int, std::string> Blobs;
    bool HasBuffer = true;
    int BlobFetches = 0;

    // Appends a field; string sizes are declared sizes (the slot holds one byte more).
    int Add(const std::string& name, int type, int32_t declaredSize = 0,
            TFilterFieldKind kind = TFilterFieldKind::Data) {
        TFilterField f;
        f.DataType = type;
        f.Kind = kind;
        f.IsBlob = IsBlobType(AsFieldType(type));
        f.Size = f.IsBlob ? 4 : (IsTextOperandType(type) ? declaredSize + 1 : FixedValueSize(type));
        if (f.Size == 0) f.Size = declaredSize;
        f.FieldNo = kind == TFilterFieldKind::Data ? static_cast<int>(Fields.size()) + 1 : 0;
        if (kind != TFilterFieldKind::Data) Record.push_back(1);  // calculated-area flag byte
        f.Offset = static_cast<int32_t>(Record.size());
        Record.resize(Record.size() + static_cast<size_t>(f.Size), 0);
        Fields.push_back(Field{name, f});
        return static_cast<int>(Fields.size()) - 1;
    }

    // A record with one field of every type the filter reads, and some it does not.
    static FakeDataSource EveryType() {
        using namespace ftype;
        FakeDataSource ds;
        ds.Add("Name", ftString, 20);
        ds.Add("Small", ftSmallint);
        ds.Add("Int", ftInteger);
        ds.Add("Word", ftWord);
        ds.Add("Active", ftBoolean);
        ds.Add("Price", ftFloat);
        ds.Add("Amount", ftCurrency);
        ds.Add("Day", ftDate);
        ds.Add("Clock", ftTime);
        ds.Add("Stamp", ftDateTime);
        ds.Add("Auto", ftAutoInc);
        ds.Add("Memo", ftMemo);
        ds.Add("Code", ftFixedChar, 5);
        ds.Add("Big", ftLargeint);
        ds.Add("\xB4\xE6\xB4\xA2\xC7\xF8\xD0\xF2\xBA\xC5", ftInteger);  // 存储区序号
        ds.Add("Order Date", ftDateTime);
        ds.Add("Ole", ftParadoxOle);
        ds.Add("Calc", ftInteger, 0, TFilterFieldKind::Calculated);
        ds.Add("Raw", ftBytes, 6);
        ds.Add("Wide", ftWideString, 8);
        ds.Add("Name2", ftString, 20);
        return ds;
    }

    int Index(const std::string& name) const { return FindField(name); }
    uint8_t* Slot(const std::string& name) {
        int i = Index(name);
        if (i < 0) throw std::out_of_range("no field " + name);
        return Record.data() + Fields[static_cast<size_t>(i)].Info.Offset;
    }
    void SetInt(const std::string& name, int64_t v) {
        int i = Index(name);
        codec::PutLE(Slot(name), static_cast<uint64_t>(v),
                     static_cast<size_t>(Fields[static_cast<size_t>(i)].Info.Size));
    }
    void SetFloat(const std::string& name, double v) { codec::PutF64(Slot(name), v); }
    void SetString(const std::string& name, const std::string& v) {
        int i = Index(name);
        size_t size = static_cast<size_t>(Fields[static_cast<size_t>(i)].Info.Size);
        std::memset(Slot(name), 0, size);
        std::memcpy(Slot(name), v.data(), std::min(v.size(), size));
    }
    void SetBlob(const std::string& name, const std::string& v) { Blobs[Index(name)] = v; }
    void SetDate(const std::string& name, int y, int m, int d) {
        int32_t day = 0;
        TryEncodeDate(y, m, d, day);
        SetInt(name, day);
    }
    void SetTime(const std::string& name, int h, int mi, int s, int ms = 0) {
        int32_t t = 0;
        TryEncodeTime(h, mi, s, ms, t);
        SetInt(name, t);
    }
    void SetDateTime(const std::string& name, int y, int m, int d, int h, int mi, int s,
                     int ms = 0) {
        TTimeStamp ts;
        TryEncodeDate(y, m, d, ts.Date);
        TryEncodeTime(h, mi, s, ms, ts.Time);
        SetFloat(name, TimeStampToMSecs(ts));
    }

    std::string DataSetName() const override { return Name; }
    int FindField(std::string_view name) const override {
        for (size_t i = 0; i < Fields.size(); ++i) {
            if (SameTextAscii(Fields[i].Name, name)) return static_cast<int>(i);
        }
        return -1;
    }
    TFilterField FieldInfo(int index) const override {
        return Fields.at(static_cast<size_t>(index)).Info;
    }
    bool GetActiveRecBuf(std::span<const uint8_t>& buffer) const override {
        if (!HasBuffer) return false;
        buffer = std::span<const uint8_t>(Record.data(), Record.size());
        return true;
    }
    std::string BlobText(int index) override {
        ++BlobFetches;
        auto it = Blobs.find(index);
        return it == Blobs.end() ? std::string() : it->second;
    }
};

}  // namespace tarn::testing
