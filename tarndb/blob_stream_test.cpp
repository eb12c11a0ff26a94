// Blob values through the table component: the record buffer's lazily loaded stream, the
// streams a dataset hands out in each mode, and the blob field API on top of them.
#include "tarndb/blob_stream.h"

#include <gtest/gtest.h>

#include <array>

#include "platform/bytes.h"
#include "tarndb/creator.h"
#include "tarndb/dataset/typed_fields.h"
#include "tarndb/errors.h"
#include "tarndb/file_io.h"
#include "tarndb/record_list.h"
#include "tarndb/table.h"
#include "tarndb/table_io.h"
#include "tests/support/recording_env.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_env.h"

namespace tarn {
namespace {

using testing::RecordingEnv;
using testing::ScopedEnv;
using testing::TempDir;

constexpr int kBody = 2, kData = 3;  // storage field numbers of the two blob fields

std::string Read(TStream& s) {
    s.SetPosition(0);
    std::string out(static_cast<size_t>(s.Size()), '\0');
    s.ReadBuffer(out.data(), out.size());
    return out;
}

class BlobStreams : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.file("blobs.dat");
    TTarnTable t{nullptr, "Docs"};

    void SetUp() override { Create({}); }
    void Create(const TDatabaseSettings& settings) {
        std::remove(path.c_str());
        TTarnDBCreator::CreateDatabase(path, settings);
        TTarnDBCreator::AddTable(
            path, "Docs",
            {{"ID", ftAutoInc}, {"Name", ftString, 20}, {"Body", ftMemo}, {"Data", ftBlob}});
    }
    void Open(TTarnTable& table) {
        table.SetDatabaseName(path);
        table.SetTableName("Docs");
        table.Open();
    }
    void Add(const std::string& name, const std::string& body, const std::string& data = "") {
        t.Append();
        t.FieldByName("Name")->SetAsString(name);
        if (!body.empty()) t.FieldByName("Body")->SetAsString(body);
        if (!data.empty()) t.FieldByName("Data")->SetAsString(data);
        t.Post();
    }
    TField& Body() { return *t.FieldByName("Body"); }
    TBlobField& BodyBlob() { return static_cast<TBlobField&>(Body()); }
    // File offset of the current record's descriptor of storage field `field`.
    int64_t DescriptorOffset(TTarnTable& table, int field) {
        return table.ViewList()->At(table.CurRec()).dataOffset + table.TableIO()->SlotOffset(field);
    }
    // (offset, length, area) of that descriptor as stored now.
    std::array<int32_t, 3> Descriptor(TTarnTable& table, int field) {
        uint8_t d[format::kBlobDescriptorSize];
        table.TableIO()->File().ReadAt(DescriptorOffset(table, field), sizeof d, d);
        format::TBlobDescriptor x = format::TBlobDescriptor::Decode(d);
        return {x.offset, x.length, x.areaSize};
    }
};

TEST_F(BlobStreams, FetchingReadsNoBlobAndAnEmptyValueIsReadOnce) {
    Open(t);
    Add("empty", "");
    Add("full", std::string(300, 'f'));
    t.Close();

    RecordingEnv env;
    ScopedEnv scoped(&env);
    Open(t);
    t.First();
    int64_t desc = DescriptorOffset(t, kBody);
    t.Next();
    auto full = Descriptor(t, kBody);
    env.ForgetAccesses();
    t.First();
    t.Next();
    t.Prior();
    EXPECT_EQ(env.ReadsAt(desc, format::kBlobDescriptorSize), 0u)
        << "a fetch must not read blob descriptors";
    EXPECT_EQ(env.ReadsOverlapping(full[0], static_cast<size_t>(full[1])), 0u) << "nor blob bytes";

    // The empty value of the current record, opened in mode 0 several times and through
    // the field: the descriptor is read once.
    for (int i = 0; i < 3; ++i) {
        auto s = t.CreateBlobStream(Body(), bmRead);
        EXPECT_EQ(s->Size(), 0);
        EXPECT_EQ(s->Position(), 0);
    }
    EXPECT_EQ(Body().AsString(), "");
    EXPECT_TRUE(Body().IsNull());
    EXPECT_EQ(env.ReadsAt(desc, format::kBlobDescriptorSize), 1u);

    // The stored value of the next record: its bytes are read once, when first used.
    t.Next();
    EXPECT_EQ(env.ReadsOverlapping(full[0], static_cast<size_t>(full[1])), 0u);
    EXPECT_EQ(Body().AsString(), std::string(300, 'f'));
    EXPECT_EQ(BodyBlob().BlobSize(), 300);
    EXPECT_EQ(Read(*t.CreateBlobStream(Body(), bmRead)), std::string(300, 'f'));
    EXPECT_EQ(env.ReadsOverlapping(full[0], static_cast<size_t>(full[1])), 1u);
}

TEST_F(BlobStreams, WriteModeEmptiesTheValueAtOnce) {
    Open(t);
    Add("a", "hello");
    t.Edit();
    auto w = t.CreateBlobStream(Body(), bmWrite);
    EXPECT_EQ(Body().AsString(), "") << "emptied before anything is written";
    EXPECT_TRUE(BodyBlob().Modified());
    EXPECT_TRUE(t.Modified());
    t.Cancel();
    EXPECT_EQ(Body().AsString(), "hello");  // the record read again shows the stored value

    t.Edit();
    w = t.CreateBlobStream(Body(), bmWrite);
    w->WriteBuffer("new", 3);
    EXPECT_EQ(Body().AsString(), "new");
    t.Post();
    t.Edit();
    w = t.CreateBlobStream(Body(), bmWrite);  // emptied and posted without a write
    t.Post();
    TTarnTable fresh;
    Open(fresh);
    EXPECT_EQ(fresh.FieldByName("Body")->AsString(), "");
    EXPECT_EQ(fresh.FieldByName("Name")->AsString(), "a");
}

TEST_F(BlobStreams, ReadWriteModeWritesIntoTheStoredValue) {
    Open(t);
    Add("a", "xyz");
    t.Close();
    Open(t);  // the value is not loaded yet when the stream is opened
    t.Edit();
    auto rw = t.CreateBlobStream(Body(), bmReadWrite);
    EXPECT_EQ(rw->Size(), 3);
    rw->SetPosition(1);
    rw->WriteBuffer("abc", 3);
    EXPECT_EQ(rw->Position(), 4);
    EXPECT_EQ(Body().AsString(), "xabc");
    EXPECT_TRUE(BodyBlob().Modified());
    rw->WriteBuffer("!", 1);  // each write is copied back whole
    EXPECT_EQ(Body().AsString(), "xabc!");
    t.Post();
    TTarnTable fresh;
    Open(fresh);
    EXPECT_EQ(fresh.FieldByName("Body")->AsString(), "xabc!");
}

TEST_F(BlobStreams, AfterEveryWriteTheRecordValueEqualsTheWritersStream) {
    Open(t);
    Add("a", "0123456789");
    t.Edit();
    auto rw = t.CreateBlobStream(Body(), bmReadWrite);
    rw->SetPosition(8);
    rw->WriteBuffer("ab", 2);
    EXPECT_EQ(Body().AsString(), "01234567ab");
    rw->WriteBuffer("cd", 2);
    EXPECT_EQ(Body().AsString(), "01234567abcd");
    rw->SetPosition(15);  // past the end: the gap is zeros
    rw->WriteBuffer("z", 1);
    EXPECT_EQ(Body().AsString(), std::string("01234567abcd\0\0\0z", 16));
    rw->SetSize(4);  // not copied back ...
    EXPECT_EQ(Body().AsString(), std::string("01234567abcd\0\0\0z", 16));
    rw->SetPosition(4);
    rw->WriteBuffer("X", 1);  // ... until the next write
    EXPECT_EQ(Body().AsString(), "0123X");

    // Another writer in between: each write makes the value its writer's whole stream.
    auto other = t.CreateBlobStream(Body(), bmReadWrite);
    other->Seek(0, SeekOrigin::End);
    other->WriteBuffer("YYY", 3);
    EXPECT_EQ(Body().AsString(), "0123XYYY");
    rw->WriteBuffer("W", 1);
    EXPECT_EQ(Body().AsString(), "0123XW");

    // A value written in many pieces.
    auto w = t.CreateBlobStream(Body(), bmWrite);
    std::string expected;
    for (int i = 0; i < 2000; ++i) {
        std::string piece = std::to_string(i) + ",";
        w->WriteBuffer(piece.data(), piece.size());
        expected += piece;
    }
    EXPECT_EQ(Body().AsString(), expected);
    t.Post();
    TTarnTable fresh;
    Open(fresh);
    EXPECT_EQ(fresh.FieldByName("Body")->AsString(), expected);
}

TEST_F(BlobStreams, ReadModeTakesWritesButTheRecordKeepsItsValue) {
    Open(t);
    Add("a", "xyz");
    t.Edit();
    auto r = t.CreateBlobStream(Body(), bmRead);
    EXPECT_EQ(r->Write("abcd", 4), 4u);
    EXPECT_EQ(Read(*r), "abcd");
    EXPECT_EQ(Body().AsString(), "xyz");
    EXPECT_FALSE(BodyBlob().Modified());
    EXPECT_FALSE(t.Modified());
    t.Post();
    TTarnTable fresh;
    Open(fresh);
    EXPECT_EQ(fresh.FieldByName("Body")->AsString(), "xyz");
}

TEST_F(BlobStreams, AFetchedAgainRecordShowsTheStoredValueOnceRead) {
    Open(t);
    Add("a", "one");
    EXPECT_EQ(Body().AsString(), "one");  // loaded into t's record buffer
    TTarnTable other;
    Open(other);
    other.Edit();
    other.FieldByName("Body")->SetAsString(std::string(100, '2'));  // moves to the end of the file
    other.Post();
    EXPECT_EQ(Body().AsString(), "one") << "t has not fetched the record again";

    t.Refresh();  // fetched again: the value is located anew and read when used
    EXPECT_EQ(Body().AsString(), std::string(100, '2'));
    // A change abandoned with Cancel: the record is fetched again and shows the stored value.
    t.Edit();
    Body().SetAsString("scratch");
    EXPECT_EQ(Body().AsString(), "scratch");
    t.Cancel();
    EXPECT_EQ(Body().AsString(), std::string(100, '2'));
}

TEST_F(BlobStreams, FieldApiRoundTripsBinaryValues) {
    Open(t);
    const std::string bytes(
        "\0\x01\xff"
        "binary\0tail",
        13);
    t.Append();
    TBlobField& data = static_cast<TBlobField&>(*t.FieldByName("Data"));
    data.SetAsString(bytes);
    EXPECT_EQ(data.AsString(), bytes);
    TMemoryStream source(std::string("loaded from a stream"));
    source.SetPosition(7);  // the whole source is taken, whatever its position
    BodyBlob().LoadFromStream(source);
    t.Post();
    EXPECT_EQ(data.AsString(), bytes);
    EXPECT_EQ(data.BlobSize(), 13);
    EXPECT_FALSE(data.IsNull());
    EXPECT_EQ(data.AsVariant().AsString(), bytes);
    TMemoryStream dest(std::string("head:"));
    dest.Seek(0, SeekOrigin::End);
    BodyBlob().SaveToStream(dest);
    EXPECT_EQ(dest.Bytes(), "head:loaded from a stream");

    t.Append();  // a new record's blobs are empty and need no file
    EXPECT_TRUE(data.IsNull());
    EXPECT_EQ(data.BlobSize(), 0);
    t.Cancel();

    TTarnTable fresh;
    Open(fresh);
    EXPECT_EQ(fresh.FieldByName("Data")->AsString(), bytes);
    EXPECT_EQ(fresh.FieldByName("Body")->AsString(), "loaded from a stream");
}

TEST_F(BlobStreams, WithoutARecordAStreamStartsEmptyAndGoesNowhere) {
    Open(t);
    auto rw = t.CreateBlobStream(Body(), bmReadWrite);
    EXPECT_EQ(rw->Size(), 0);
    rw->WriteBuffer("lost", 4);
    auto w = t.CreateBlobStream(Body(), bmWrite);
    w->WriteBuffer("lost", 4);
    EXPECT_EQ(t.RecordCount(), 0);
    EXPECT_EQ(Body().AsString(), "");
}

TEST_F(BlobStreams, RewritingARecordKeepsUnchangedBlobsInPlace) {
    Open(t);
    Add("a", std::string(100, 'b'), "dd");
    t.Close();
    Open(t);  // nothing loaded: posting must load each unchanged value to write it back
    auto body = Descriptor(t, kBody), data = Descriptor(t, kData);
    t.Edit();
    t.FieldByName("Name")->SetAsString("renamed");
    t.Post();
    EXPECT_EQ(Descriptor(t, kBody), body);
    EXPECT_EQ(Descriptor(t, kData), data);
    TTarnTable fresh;
    Open(fresh);
    EXPECT_EQ(fresh.FieldByName("Name")->AsString(), "renamed");
    EXPECT_EQ(fresh.FieldByName("Body")->AsString(), std::string(100, 'b'));
    EXPECT_EQ(fresh.FieldByName("Data")->AsString(), "dd");
}

TEST_F(BlobStreams, AValueThatCannotBeLoadedIsNeverWrittenBackInPart) {
    TDatabaseSettings settings;
    settings.compressed = true;
    Create(settings);
    Open(t);
    Add("a", std::string(5000, 'z'));
    auto desc = Descriptor(t, kBody);
    t.Close();
    // Damage the zlib header of the stored unit (after its 4-byte length).
    TTarnDBFileIO io(nullptr, TTarnDBMediumType::mtDisk, false);
    io.OpenStorage(path, TTarnDBMediumType::mtDisk, false);
    uint8_t bad = 0x79;
    io.WriteAt(desc[0] + 4, &bad, 1);
    std::vector<uint8_t> stored(static_cast<size_t>(desc[1]));
    io.ReadAt(desc[0], stored.size(), stored.data());

    Open(t);
    EXPECT_THROW(Body().AsString(), EDecompressionError);
    EXPECT_THROW(Body().AsString(), EDecompressionError)
        << "the failure must not turn into an empty value";
    t.Edit();
    t.FieldByName("Name")->SetAsString("b");
    EXPECT_THROW(t.Post(), EDecompressionError);
    t.Cancel();
    std::vector<uint8_t> after(stored.size());
    io.ReadAt(desc[0], after.size(), after.data());
    EXPECT_EQ(after, stored) << "the stored value stays as it was";
    EXPECT_EQ(Descriptor(t, kBody), desc);
    // Replacing the value is still possible.
    t.Edit();
    Body().SetAsString("fixed");
    t.Post();
    EXPECT_EQ(Body().AsString(), "fixed");
}

}  // namespace
}  // namespace tarn
