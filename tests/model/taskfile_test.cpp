#include "model/task.h"
#include "model/taskfile.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

namespace kelmora::model {
namespace {

using testsupport::FromHex;
using testsupport::ReadFile;
using testsupport::ScopedFakeClock;
using testsupport::TempDir;
using testsupport::ToHex;
using testsupport::Utc;
using testsupport::WriteFile;

constexpr const char* kAbcOneHour =
    "03 00 00 00 61 62 63 01 00 00 00 01 18 9A 00 00 80 62 EE 01 18 9A 00 00 00 51 25 02";

class TaskFileTest : public ::testing::Test
{
protected:
    Task Loaded(const std::string& bytes, bool expectSuccess = true)
    {
        WriteFile(TaskPath(m_dir.path(), 5), bytes);
        Task task;
        task.id = 5;
        EXPECT_EQ(task.Load(m_dir.path()), expectSuccess);
        return task;
    }

    TempDir m_dir;
};

TEST_F(TaskFileTest, FourLetterNameNoIntervals_TwelveBytes)
{
    Task task;
    task.id = 0;
    task.name = "Work";
    ASSERT_TRUE(task.Save(m_dir.path()));
    EXPECT_EQ(ToHex(ReadFile(m_dir.path() / "0.tsk")), "04 00 00 00 57 6F 72 6B 00 00 00 00");
}

TEST_F(TaskFileTest, OneClosedHour_TwentyEightBytesAndBack)
{
    Task task;
    task.id = 0;
    task.name = "abc";
    task.intervals.Insert(Interval(Utc(2008, 1, 1, 9, 0), Utc(2008, 1, 1, 10, 0)));
    ASSERT_TRUE(task.Save(m_dir.path()));
    EXPECT_EQ(ToHex(ReadFile(m_dir.path() / "0.tsk")), kAbcOneHour);

    Task back = Loaded(FromHex(kAbcOneHour));
    EXPECT_EQ(back.name, "abc");
    ASSERT_EQ(back.intervals.Count(), 1);
    EXPECT_TRUE(back.intervals.At(0).closed);
    EXPECT_EQ(back.intervals.At(0).start, Utc(2008, 1, 1, 9, 0));
    EXPECT_EQ(back.intervals.At(0).stop, Utc(2008, 1, 1, 10, 0));
}

TEST_F(TaskFileTest, StartedTask_OpenRecordWithZeroStop)
{
    ScopedFakeClock clock(2008, 1, 1, 9, 0);
    Task task;
    task.id = 1;
    task.name = "a";
    ASSERT_TRUE(task.Start());
    ASSERT_TRUE(task.Save(m_dir.path()));
    const std::string bytes = ReadFile(m_dir.path() / "1.tsk");
    ASSERT_EQ(bytes.size(), 8u + 1u + 17u);
    EXPECT_EQ(ToHex(bytes.substr(9)), "00 18 9A 00 00 80 62 EE 01 00 00 00 00 00 00 00 00");
    task.intervals = IntervalList();
    ASSERT_TRUE(task.Load(m_dir.path()));
    EXPECT_TRUE(task.intervals.IsRunning());
}

TEST_F(TaskFileTest, AnyNonZeroClosedByte_LoadsClosedSavesAsOne)
{
    std::string bytes = FromHex(kAbcOneHour);
    bytes[11] = 7;
    Task task = Loaded(bytes);
    EXPECT_TRUE(task.intervals.At(0).closed);
    task.Save(m_dir.path());
    EXPECT_EQ(ToHex(ReadFile(TaskPath(m_dir.path(), 5))), kAbcOneHour);
}

TEST_F(TaskFileTest, NegativeOrZeroCount_LoadsWithoutIntervals)
{
    EXPECT_EQ(Loaded(FromHex("01 00 00 00 78 FF FF FF FF")).intervals.Count(), 0);
    EXPECT_EQ(Loaded(FromHex("01 00 00 00 78 00 00 00 00")).intervals.Count(), 0);
}

TEST_F(TaskFileTest, OutOfOrderRecords_KeptInFileOrder)
{
    Task task;
    task.id = 5;
    task.name = "x";
    task.intervals.Append(Interval(Utc(2008, 1, 2, 9, 0), Utc(2008, 1, 2, 10, 0)));
    task.intervals.Append(Interval(Utc(2008, 1, 1, 9, 0), Utc(2008, 1, 1, 10, 0)));
    ASSERT_TRUE(task.Save(m_dir.path()));
    Task back;
    back.id = 5;
    ASSERT_TRUE(back.Load(m_dir.path()));
    EXPECT_EQ(back.intervals.At(0).start, Utc(2008, 1, 2, 9, 0));
    EXPECT_EQ(back.intervals.At(1).start, Utc(2008, 1, 1, 9, 0));
}

TEST_F(TaskFileTest, DamagedFiles_FailCleanly)
{
    const std::string good = FromHex(kAbcOneHour);
    // Every truncation short of the full file fails.
    for (std::size_t length = 0; length < good.size(); ++length) {
        Loaded(good.substr(0, length), false);
    }
    // A name length beyond the end of the file.
    Loaded(FromHex("FF 00 00 00 61 62"), false);
    // A name length far beyond anything sensible must not reserve its size.
    Loaded(FromHex("FF FF FF FF 61 62 63"), false);
    // A count promising more records than there are keeps the ones read, and fails.
    std::string twoPromised = good;
    twoPromised[7] = 2;
    Task partial = Loaded(twoPromised, false);
    EXPECT_EQ(partial.intervals.Count(), 1);
    // Huge counts with no records behind them.
    Loaded(FromHex("01 00 00 00 78 FF FF FF 7F"), false);
}

TEST_F(TaskFileTest, MissingFileOrNoIdentity_LoadFails)
{
    Task task;
    task.id = 77;
    std::string error;
    EXPECT_FALSE(task.Load(m_dir.path(), &error));
    EXPECT_NE(error.find("77.tsk"), std::string::npos);
    task.id = -1;
    EXPECT_FALSE(task.Load(m_dir.path()));
    EXPECT_FALSE(task.Save(m_dir.path()));
}

TEST_F(TaskFileTest, NameStopsAtFirstZeroByte)
{
    EXPECT_EQ(Loaded(FromHex("03 00 00 00 61 00 63 00 00 00 00")).name, "a");
}

TEST_F(TaskFileTest, UnicodeAndPunctuationNames_RoundTrip)
{
    Task task;
    task.id = 5;
    task.name = "Größe \"quoted\" <b>&amp; \\ tab\there";
    ASSERT_TRUE(task.Save(m_dir.path()));
    Task back;
    back.id = 5;
    ASSERT_TRUE(back.Load(m_dir.path()));
    EXPECT_EQ(back.name, task.name);
}

TEST_F(TaskFileTest, OverlongName_RefusedOnSaveKeepsOldFile)
{
    WriteFile(TaskPath(m_dir.path(), 5), FromHex(kAbcOneHour));
    Task task;
    task.id = 5;
    task.name.assign(kMaxNameBytes + 1, 'n');
    std::string error;
    EXPECT_FALSE(task.Save(m_dir.path(), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ToHex(ReadFile(TaskPath(m_dir.path(), 5))), kAbcOneHour);
    task.name.assign(kMaxNameBytes, 'n');
    EXPECT_TRUE(task.Save(m_dir.path()));
    EXPECT_EQ(Loaded(ReadFile(TaskPath(m_dir.path(), 5))).name.size(), kMaxNameBytes);
}

TEST_F(TaskFileTest, TrailingBytesAfterRecords_Ignored)
{
    Task task = Loaded(FromHex(kAbcOneHour) + "junk");
    EXPECT_EQ(task.intervals.Count(), 1);
}

TEST(TaskPath, DecimalIdWithTskExtension)
{
    EXPECT_EQ(TaskPath("/d", 0), std::filesystem::path("/d/0.tsk"));
    EXPECT_EQ(TaskPath("/d", 17), std::filesystem::path("/d/17.tsk"));
}

} // namespace
} // namespace kelmora::model
