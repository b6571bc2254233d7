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

std::pair<TimeStamp, TimeStamp> Span(const Interval& i)
{
    return {i.start, i.stop};
}

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

    EXPECT_EQ(Span(Loaded(FromHex(kAbcOneHour)).intervals.At(0)), Span(task.intervals.At(0)));
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

// What a file holds as read: a damaged file fails cleanly, keeping the records read before the damage.
TEST_F(TaskFileTest, Load_GoodAndDamagedFiles)
{
    const std::string good = FromHex(kAbcOneHour);
    std::string anyClosedByte = good;
    anyClosedByte[11] = 7;
    std::string twoPromised = good;
    twoPromised[7] = 2;
    const struct
    {
        std::string bytes;
        bool ok;
        const char* name;
        int count;
    } cases[] = {
        {good, true, "abc", 1},
        {anyClosedByte, true, "abc", 1},
        {good + "junk", true, "abc", 1},
        {FromHex("01 00 00 00 78 FF FF FF FF"), true, "x", 0}, // a negative count
        {FromHex("01 00 00 00 78 00 00 00 00"), true, "x", 0},
        {FromHex("03 00 00 00 61 00 63 00 00 00 00"), true, "a", 0}, // the name stops at its first zero byte
        {FromHex("FF 00 00 00 61 62"), false, "", 0},                // a name length beyond the end
        {FromHex("FF FF FF FF 61 62 63"), false, "", 0},             // must not reserve its size
        {twoPromised, false, "abc", 1},
        {FromHex("01 00 00 00 78 FF FF FF 7F"), false, "x", 0}, // a huge count with no records
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToHex(c.bytes));
        const Task task = Loaded(c.bytes, c.ok);
        EXPECT_EQ(task.name, c.name);
        ASSERT_EQ(task.intervals.Count(), c.count);
        if (c.count > 0) {
            EXPECT_TRUE(task.intervals.At(0).closed);
            EXPECT_EQ(task.intervals.At(0).stop, Utc(2008, 1, 1, 10, 0));
        }
    }
    // Every truncation short of the full file fails.
    for (std::size_t length = 0; length < good.size(); ++length) {
        Loaded(good.substr(0, length), false);
    }
    // A closed byte other than one is written back as one.
    Loaded(anyClosedByte).Save(m_dir.path());
    EXPECT_EQ(ToHex(ReadFile(TaskPath(m_dir.path(), 5))), kAbcOneHour);
}

TEST_F(TaskFileTest, OutOfOrderRecordsAndAnyName_KeptAsWritten)
{
    Task task;
    task.id = 5;
    task.name = "Größe \"quoted\" <b>&amp; \\ tab\there";
    task.intervals.Append(Interval(Utc(2008, 1, 2, 9, 0), Utc(2008, 1, 2, 10, 0)));
    task.intervals.Append(Interval(Utc(2008, 1, 1, 9, 0), Utc(2008, 1, 1, 10, 0)));
    ASSERT_TRUE(task.Save(m_dir.path()));
    Task back;
    back.id = 5;
    ASSERT_TRUE(back.Load(m_dir.path()));
    EXPECT_EQ(back.name, task.name);
    EXPECT_EQ(back.intervals.At(0).start, Utc(2008, 1, 2, 9, 0));
    EXPECT_EQ(back.intervals.At(1).start, Utc(2008, 1, 1, 9, 0));
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

} // namespace
} // namespace kelmora::model
