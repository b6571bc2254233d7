#include "model/taskops.h"
#include "model/taskstore.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

namespace kelmora::model {
namespace {

using testsupport::ReadFile;
using testsupport::ScopedFakeClock;
using testsupport::TempDir;

// Another program stopped the task meanwhile: Stop must not stretch the closed span up to now.
TEST(TaskOps, StopOfATaskWhoseLastSpanIsClosed_WritesNothing)
{
    TempDir dir;
    ScopedFakeClock clock(2008, 1, 1, 9, 0);
    TaskStore store(dir.path());
    store.Load();
    const auto id = store.CreateTask("a");
    ASSERT_TRUE(StartTask(dir.path(), id));
    clock->SetUtc(2008, 1, 1, 9, 30);
    ASSERT_TRUE(StopTask(dir.path(), id));
    const std::string before = ReadFile(dir.path() / "0.tsk");
    clock->SetUtc(2008, 1, 1, 11, 0);
    EXPECT_TRUE(StopTask(dir.path(), id));
    EXPECT_EQ(ReadFile(dir.path() / "0.tsk"), before) << "the span still ends at 09:30";
    EXPECT_FALSE(StopTask(dir.path(), 42)) << "a task without file is not stopped";
}

} // namespace
} // namespace kelmora::model
