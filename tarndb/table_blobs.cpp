// Blob values of the table storage on their way into the file: the bytes they are stored
// as, their areas written with as few copies as possible, and the read-back check of
// VerifyBlobWrites.
#include <algorithm>
#include <cstring>

#include "tarndb/blob_stream.h"
#include "tarndb/errors.h"
#include "tarndb/file_io.h"
#include "tarndb/table_io.h"

namespace tarn {

namespace {

// How often a blob write is tried when reading it back does not give the value.
constexpr int kBlobWriteAttempts = 3;
const uint8_t kZeros[format::kBlobAreaUnit] = {};

}  // namespace

std::span<const uint8_t> TTarnTableIO::StoredBlobBytes(TFieldBuffers& buffers, int field,
                                                       TMemoryStream& encoded) {
    TFieldBufferItem& item = buffers.Item(field);
    TMemoryStream empty;
    TMemoryStream* value = &empty;
    if (item.blob) {
        // A value never read since its record was fetched is loaded here, before the
        // encoding below takes the modules' lock that loading needs too.
        item.blob->EnsureLoaded();
        value = item.blob;
    }
    bool compress = Compress(field), encrypt = Encrypt(field);
    TMemoryStream* stored = value;
    if (compress || encrypt) {
        File().EncodeStoredStream(*value, encoded, compress, encrypt);
        stored = &encoded;
    }
    // Size() of a loaded blob stream is its plain size: no load happens here.
    int64_t length = stored->Size();
    if (length > INT32_MAX - format::kBlobAreaUnit) throw EDatabaseError("Blob value too large");
    return {stored->Memory(), static_cast<size_t>(length)};
}

void TTarnTableIO::WriteBlobArea(TTarnDBFileIO& io, int64_t offset, std::span<const uint8_t> stored,
                                 int32_t fill) {
    size_t zeros = static_cast<size_t>(std::clamp<int32_t>(fill, 0, format::kBlobAreaUnit));
    if (stored.size() >= kBlobCopyLimit) {
        io.WriteAt(offset, stored.data(), stored.size());
        if (zeros) io.WriteAt(offset + static_cast<int64_t>(stored.size()), kZeros, zeros);
        return;
    }
    std::vector<uint8_t>& area = writeRun_;
    area.assign(stored.begin(), stored.end());
    area.insert(area.end(), zeros, 0);
    if (!area.empty()) io.WriteAt(offset, area.data(), area.size());
}

bool TTarnTableIO::ReadsBackAs(TTarnDBFileIO& io, int64_t offset, size_t length,
                               TFieldBuffers& buffers, int field) {
    TFieldBufferItem& item = buffers.Item(field);
    const uint8_t* meant = nullptr;
    size_t meantSize = 0;
    if (item.blob) {
        item.blob->EnsureLoaded();
        meant = item.blob->Memory();
        meantSize = static_cast<size_t>(item.blob->Size());
    }
    TMemoryStream stored;
    stored.SetSize(static_cast<int64_t>(length));
    io.ReadAt(offset, length, stored.Memory());
    TMemoryStream decoded;
    try {
        io.DecodeStoredStream(stored, decoded, Compress(field), Encrypt(field));
    } catch (const Exception&) {
        return false;  // what was read back does not even decode
    }
    return static_cast<size_t>(decoded.Size()) == meantSize &&
           (meantSize == 0 || std::memcmp(decoded.Memory(), meant, meantSize) == 0);
}

void TTarnTableIO::VerifyBlobArea(TTarnDBFileIO& io, int64_t offset,
                                  std::span<const uint8_t> stored, int32_t fill,
                                  TFieldBuffers& buffers, int field, TMemoryStream& encoded) {
    for (int attempt = 1;; ++attempt) {
        if (ReadsBackAs(io, offset, stored.size(), buffers, field)) return;
        const std::string& name = fieldDefs_[field].Name();
        if (attempt >= kBlobWriteAttempts)
            throw EDatabaseError(
                Format("Blob value of field '%s' could not be written: reading it back gave other "
                       "bytes %d times",
                       name.c_str(), attempt));
        encoded.Clear();
        std::span<const uint8_t> again = StoredBlobBytes(buffers, field, encoded);
        if (again.size() != stored.size())  // its place was measured for the first encoding
            throw EDatabaseError(
                Format("Blob value of field '%s' could not be written: encoding it again changed "
                       "its length",
                       name.c_str()));
        stored = again;
        WriteBlobArea(io, offset, stored, fill);
    }
}

}  // namespace tarn
