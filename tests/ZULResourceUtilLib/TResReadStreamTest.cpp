#include "ZULResourceUtilLib/TResReadStream.h"

#include "tests/support/ArchiveTestSupport.h"

#include <gtest/gtest.h>

namespace {

class TResReadStreamTest : public testing::Test {
protected:
    void OpenWith(int mode, size_t length)
    {
        ArchiveOptions options;
        options.keySeed = 606;
        options.blockShift = 0;  // 256-byte blocks
        ArchiveWriter writer(options);
        data_ = PatternBytes(length, 11);
        writer.Add({ResTagPicture, 1, mode, data_, PatternBytes(7, 1), PatternBytes(3, 2)});
        ASSERT_EQ(OpenArchiveBytes(archive_, writer.Build()), 0);
        cursor_ = ResCursor{*ResEntryRecordOf(archive_, 0, 0), 0};
    }

    ResArchive archive_;
    ResCursor cursor_;
    std::vector<uint8_t> data_;
};

TEST_F(TResReadStreamTest, FromCurrentStreamStartsWhereTheCursorStood)
{
    OpenWith(3, 100);
    uint8_t header[32];
    ASSERT_EQ(ResReadAt(archive_, 0, 0, 0, header, 32), 32);
    cursor_.position = 32;
    TResReadStream stream(&archive_, true, &cursor_);
    EXPECT_EQ(stream.Position(), 0);
    EXPECT_EQ(stream.Size(), 68);
    EXPECT_EQ(stream.Position(), 0);  // Size() puts the position back

    uint8_t byte = 0;
    ASSERT_EQ(stream.Read(&byte, 1), 1);
    EXPECT_EQ(byte, data_[32]);
    EXPECT_EQ(stream.Seek(int64_t{68}, SeekOrigin::Beginning), 68);
    EXPECT_EQ(stream.Seek(int64_t{69}, SeekOrigin::Beginning), -1);
    EXPECT_EQ(stream.Position(), 68);
    EXPECT_EQ(stream.Seek(int64_t{-1}, SeekOrigin::Beginning), -1);
    EXPECT_EQ(stream.Seek(int64_t{-69}, SeekOrigin::Current), -1);  // before the stream's start
    EXPECT_EQ(stream.Position(), 68);
    EXPECT_EQ(cursor_.position, 100);
}

TEST_F(TResReadStreamTest, SeekOrigins)
{
    OpenWith(1, 3000);
    TResReadStream stream(&archive_, false, &cursor_);
    EXPECT_EQ(stream.Seek(int64_t{0}, SeekOrigin::End), 3000);
    EXPECT_EQ(stream.Seek(int64_t{1200}, SeekOrigin::Beginning), 1200);
    EXPECT_EQ(stream.Seek(int64_t{0}, SeekOrigin::Current), 1200);
    EXPECT_EQ(stream.Seek(int64_t{-200}, SeekOrigin::Current), 1000);
    EXPECT_EQ(stream.Seek(int32_t{-10}, uint16_t{2}), 2990);  // the 32-bit form sign-extends
    EXPECT_EQ(stream.Seek(int64_t{5}, static_cast<SeekOrigin>(7)), 0);  // unknown origin: the start

    std::vector<uint8_t> buffer(100);
    ASSERT_EQ(stream.Seek(int64_t{1000}, SeekOrigin::Beginning), 1000);
    ASSERT_EQ(stream.Read(buffer.data(), 100), 100);  // straddles the end of the encrypted head
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), data_.begin() + 1000));
}

TEST_F(TResReadStreamTest, ReadingAnInterleavedEntryGivesThePlainBytes)
{
    OpenWith(2, 5000);
    std::vector<uint8_t> expected(5000);
    ASSERT_EQ(ResReadAt(archive_, 0, 0, 0, expected.data(), 0), 5000);
    EXPECT_EQ(expected, data_);

    ASSERT_GE(ResCursorSeek(archive_, cursor_, 0), 0);
    TResReadStream stream(&archive_, false, &cursor_);
    std::vector<uint8_t> streamed(5000);
    for (int64_t done = 0; done < 5000;) {  // odd piece sizes cross the 256-byte blocks unevenly
        const int64_t piece = std::min<int64_t>(333, 5000 - done);
        ASSERT_EQ(stream.Read(streamed.data() + done, piece), piece);
        done += piece;
    }
    EXPECT_EQ(streamed, expected);
    uint8_t extra;
    EXPECT_EQ(stream.Read(&extra, 1), 0);
    EXPECT_THROW(stream.ReadBuffer(&extra, 1), EReadError);
}

TEST_F(TResReadStreamTest, CannotBeWritten)
{
    OpenWith(0, 10);
    TResReadStream stream(&archive_, false, &cursor_);
    const uint8_t bytes[4] = {1, 2, 3, 4};
    EXPECT_EQ(stream.Write(bytes, 4), 0);
    EXPECT_THROW(stream.WriteBuffer(bytes, 4), EWriteError);
}

} // namespace
