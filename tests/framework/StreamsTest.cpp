#include "framework/Streams.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <limits>

#include "tests/support/TempDir.h"

namespace pw::framework {
namespace {

std::string Read(TStream& s, std::int64_t count) {
    std::string out(static_cast<std::size_t>(count), '\0');
    s.ReadBuffer(out.data(), count);
    return out;
}

std::string ReadAll(TStream& s) {
    return Read(s, s.Size() - s.Position());
}

void WriteText(TStream& s, std::string_view text) {
    s.WriteBuffer(text.data(), static_cast<std::int64_t>(text.size()));
}

TEST(MemoryStream, ReadWriteSeekAndSizeStayWithinTheData) {
    TMemoryStream m;
    WriteText(m, "hello world");
    EXPECT_EQ(m.Position(), 11);
    EXPECT_EQ(m.Seek(-5, SeekOrigin::End), 6);
    EXPECT_EQ(ReadAll(m), "world");
    char buf[8] = {};
    EXPECT_EQ(m.Read(buf, 8), 0);
    m.SetPosition(6);
    EXPECT_THROW(Read(m, 6), EReadError);

    m.SetPosition(6);
    WriteText(m, "there!");
    EXPECT_EQ(m.View(), "hello there!");
    // Writing past the end fills the gap with zero bytes.
    m.Seek(2, SeekOrigin::End);
    WriteText(m, "x");
    EXPECT_EQ(m.View(), std::string("hello there!\0\0x", 15));
    // A position before the start is the start; one beyond the largest saturates, not wraps.
    EXPECT_EQ(m.Seek(-100, SeekOrigin::Current), 0);
    const auto max = std::numeric_limits<std::int64_t>::max();
    m.SetPosition(10);
    EXPECT_EQ(m.Seek(max, SeekOrigin::Current), max);
    EXPECT_EQ(m.Read(buf, 1), 0);

    // A write at the saturated position cannot be held: an error, not a wrapped size.
    m.SetPosition(max);
    EXPECT_THROW(m.Write("x", 1), std::bad_alloc);

    m.SetSize(5);
    EXPECT_EQ(m.View(), "hello");
    EXPECT_EQ(m.Position(), 5);
    // Growing again shows zeros, not the bytes that were cut off.
    m.SetSize(9);
    EXPECT_EQ(m.View(), std::string("hello\0\0\0\0", 9));
    m.SetSize(-3);
    EXPECT_EQ(m.Read(buf, 8), 0);
    EXPECT_EQ(m.Size(), 0);
    EXPECT_EQ(m.Position(), 0);
}

TEST(Stream, CopyFromCopiesAllOrPart) {
    TMemoryStream source;
    WriteText(source, "0123456789");
    TMemoryStream target;
    // Count 0: all of the source from its start, wherever it stood.
    EXPECT_EQ(target.CopyFrom(source, 0), 10);
    EXPECT_EQ(target.View(), "0123456789");

    source.SetPosition(2);
    TMemoryStream part;
    EXPECT_EQ(part.CopyFrom(source, 3), 3);
    EXPECT_EQ(part.View(), "234");
    EXPECT_EQ(source.Position(), 5);
    EXPECT_THROW(part.CopyFrom(source, 6), EReadError);
    EXPECT_EQ(part.CopyFrom(source, -1), 0);
}

TEST(FileStream, CreateWriteSeekReadAndResize) {
    test::TempDir dir;
    const std::string name = dir / "data.bin";
    {
        TFileStream f(name, FileMode::Create);
        WriteText(f, "abcdef");
        f.SetPosition(1);
        EXPECT_EQ(Read(f, 2), "bc");
        // Straight from a read to a write, and back: each goes on where the other stopped.
        WriteText(f, "XY");
        EXPECT_EQ(Read(f, 1), "f");
        EXPECT_THROW(Read(f, 1), EReadError);

        f.SetPosition(5);
        f.SetSize(2);
        EXPECT_EQ(f.Size(), 2);
        EXPECT_EQ(f.Position(), 2);
    }
    EXPECT_EQ(test::ReadFile(name), "ab");
    {
        TFileStream f(name, FileMode::OpenWrite);
        f.Seek(0, SeekOrigin::End);
        WriteText(f, "cd");
    }
    TFileStream r(name, FileMode::OpenRead);
    EXPECT_EQ(ReadAll(r), "abcd");
    EXPECT_THROW(WriteText(r, "no"), EWriteError);
}

TEST(FileStream, OpenFailuresNameTheFileAndCreateNothing) {
    test::TempDir dir;
    const std::string missing = dir / "missing.bin";
    for (FileMode mode : {FileMode::OpenRead, FileMode::OpenWrite, FileMode::OpenReadWrite}) {
        EXPECT_THAT([&] { TFileStream f(missing, mode); },
                    ::testing::ThrowsMessage<EFOpenError>(::testing::HasSubstr(missing)));
    }
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_THROW(TFileStream(dir.path().string(), FileMode::OpenRead), EFOpenError);
    EXPECT_THROW(TFileStream(dir / "no/such/file", FileMode::Create), EFOpenError);
}

TEST(MemoryStream, FilesRoundTripAllBytes) {
    test::TempDir dir;
    std::string bytes = "\r\n\n\r";
    for (int i = 0; i < 256; ++i)
        bytes.push_back(static_cast<char>(i));
    TMemoryStream out;
    WriteText(out, bytes);
    out.SaveToFile(dir / "all.bin");
    EXPECT_TRUE(test::ReadFile(dir / "all.bin") == bytes);

    TMemoryStream in;
    WriteText(in, "old");
    in.LoadFromFile(dir / "all.bin");
    EXPECT_TRUE(in.View() == bytes);
    EXPECT_EQ(in.Position(), 0);
    // A failed load keeps what the stream held.
    EXPECT_THROW(in.LoadFromFile(dir / "missing.bin"), EFOpenError);
    EXPECT_TRUE(in.View() == bytes);

    TMemoryStream().SaveToFile(dir / "empty.bin");
    in.LoadFromFile(dir / "empty.bin");
    EXPECT_EQ(in.Size(), 0);
}

}  // namespace
}  // namespace pw::framework
