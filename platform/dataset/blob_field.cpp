#include "tarndb/dataset/dataset.h"
#include "tarndb/dataset/typed_fields.h"

namespace tarn {

TBlobField::TBlobField(std::string fieldName, TFieldType type)
    : TField(std::move(fieldName), type) {}

int64_t TBlobField::BlobSize() const {
    auto stream = RequireDataSet().CreateBlobStream(const_cast<TBlobField&>(*this), bmRead);
    return stream ? stream->Size() : 0;
}

// A blob without content counts as null, whether it was stored empty or emptied now.
bool TBlobField::IsNull() const { return !GetData({}) || BlobSize() == 0; }

void TBlobField::Clear() { SetAsString(std::string()); }

std::string TBlobField::AsString() const {
    auto stream = RequireDataSet().CreateBlobStream(const_cast<TBlobField&>(*this), bmRead);
    if (!stream) return std::string();
    // The datasets' blob streams are memory streams: their bytes are taken in one copy.
    if (auto* memory = dynamic_cast<TMemoryStream*>(stream.get())) {
        memory->Size();  // a stream that loads lazily does so here
        return memory->Bytes();
    }
    TMemoryStream copy;
    stream->SetPosition(0);
    copy.CopyFrom(*stream, 0);
    return copy.Bytes();
}

void TBlobField::SetAsString(const std::string& value) {
    TDataSet& ds = RequireDataSet();
    ds.CheckFieldWritable(*this);
    auto stream = ds.CreateBlobStream(*this, bmWrite);
    if (stream && !value.empty()) stream->WriteBuffer(value.data(), value.size());
    modified_ = true;
}

TVariant TBlobField::AsVariant() const {
    if (!GetData({})) return TVariant();
    return TVariant(AsString());
}

void TBlobField::SetAsVariant(const TVariant& value) {
    if (value.IsNull()) {
        Clear();
        return;
    }
    SetAsString(Converting([&] { return value.AsString(); }));
}

void TBlobField::LoadFromStream(TStream& source) {
    TDataSet& ds = RequireDataSet();
    ds.CheckFieldWritable(*this);
    auto stream = ds.CreateBlobStream(*this, bmWrite);
    if (auto* memory = dynamic_cast<TMemoryStream*>(&source); stream && memory) {
        // The whole source, in one write from its own memory (and left at its end, as a
        // copy through a buffer leaves it).
        if (memory->Size() > 0)
            stream->WriteBuffer(memory->Memory(), static_cast<size_t>(memory->Size()));
        memory->Seek(0, SeekOrigin::End);
    } else if (stream) {
        TMemoryStream whole;
        whole.CopyFrom(source, 0);
        if (whole.Size() > 0)
            stream->WriteBuffer(whole.Memory(), static_cast<size_t>(whole.Size()));
    }
    modified_ = true;
}

void TBlobField::SaveToStream(TStream& dest) const {
    std::string bytes = AsString();
    if (!bytes.empty()) dest.WriteBuffer(bytes.data(), bytes.size());
}

}  // namespace tarn
