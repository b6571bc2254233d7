#include "fakecompositor.h"

#include "idle/idlemonitor.h"
#include "platform/fakesettingsstore.h"
#include "platform/idletimesource_backends.h"
#include "platform/idletimesource_fake.h"
#include "support/scopedenvironment.h"
#include "support/testsupport.h"

#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace kelmora::idle {
namespace {

using Posts = std::vector<std::pair<std::int64_t, std::int64_t>>;
using Timeouts = std::vector<std::uint32_t>;

// The compositors' sockets go into a runtime folder of the test's own.
class WaylandIdleTest : public ::testing::Test
{
protected:
    testsupport::TempDir m_runtime;
    testsupport::ScopedEnvironment m_runtimeVariable{"XDG_RUNTIME_DIR", m_runtime.path().string()};
};

TEST_F(WaylandIdleTest, EachProtocol_RegistersTimeoutAndIdledResumedMakeOneAbsence)
{
    for (const auto& [ext, kde, name] :
         std::vector<std::tuple<bool, bool, std::string>>{{true, false, "Wayland ext-idle-notify-v1"},
                                                          {false, true, "Wayland org_kde_kwin_idle"},
                                                          {true, true, "Wayland ext-idle-notify-v1"}}) {
        SCOPED_TRACE(name + (ext && kde ? " (both offered)" : ""));
        platform::FakeCompositor compositor(ext, kde);
        platform::FakeUptimeClocks clocks;
        auto source = platform::WaylandIdleTimeSource::Connect(compositor.SocketName(), &clocks);
        ASSERT_TRUE(source);
        EXPECT_EQ(source->Name(), name);
        platform::FakeSettingsStore settings;
        settings.SetSetting("UseIdleDetection", 1);
        settings.SetSetting("Timeout", 300);
        Posts posts;
        CIdleMonitor monitor(*source, clocks, settings,
                             [&](std::int64_t w, std::int64_t l) { posts.emplace_back(w, l); });
        const auto pass = [&](std::int64_t advanceMs) {
            clocks.Advance(advanceMs);
            monitor.Pass();
        };

        pass(1000);
        EXPECT_TRUE(QTest::qWaitFor([&] { return compositor.Timeouts() == Timeouts{300'000}; }));
        compositor.Idle();
        ASSERT_TRUE(QTest::qWaitFor([&] { return source->IdleMs().has_value(); }));
        pass(1000);
        pass(453'000);
        // A new timeout waits for the end of the period, which the old registration reports.
        settings.SetSetting("Timeout", 600);
        pass(0);
        QTest::qWait(50);
        EXPECT_EQ(compositor.Timeouts(), Timeouts{300'000});
        compositor.Resume();
        EXPECT_TRUE(QTest::qWaitFor([&] { return compositor.Timeouts() == Timeouts{600'000}; }));
        pass(1000);
        EXPECT_EQ(posts, (Posts{{0, 0}, {1, 754}}));
        // While the user works, a new timeout replaces the old registration at once.
        settings.SetSetting("Timeout", 120);
        pass(1000);
        EXPECT_TRUE(QTest::qWaitFor([&] { return compositor.Timeouts() == Timeouts{120'000}; }));

        // The compositor goes away in the middle of an inactivity period: the source cannot tell any more.
        compositor.Idle();
        ASSERT_TRUE(QTest::qWaitFor([&] { return source->IdleMs().has_value(); }));
        compositor.Quit();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !source->IdleMs().has_value(); }));
        settings.SetSetting("Timeout", 60);
        pass(200'000);
        EXPECT_EQ(posts.size(), 2U);
    }
}

TEST_F(WaylandIdleTest, NoIdleProtocolSilentOrMissingCompositor_FallsThroughToNextSource)
{
    platform::IdleSourceCandidates candidates;
    candidates.tryWayland = true;
    platform::FakeCompositor seatOnly(false, false);
    candidates.waylandDisplay = seatOnly.SocketName();
    EXPECT_EQ(platform::ChooseIdleTimeSource(candidates)->Name(), "none");
    platform::FakeCompositor kde(false, true);
    candidates.waylandDisplay = (m_runtime.path() / kde.SocketName()).string();
    EXPECT_EQ(platform::ChooseIdleTimeSource(candidates)->Name(), "Wayland org_kde_kwin_idle") << "absolute path";

    // A compositor that accepts connections and never answers costs the wait, not a hang.
    kde.Hang();
    EXPECT_FALSE(platform::WaylandIdleTimeSource::Connect(kde.SocketName(), nullptr, std::chrono::milliseconds(200)));
    kde.Quit();
    EXPECT_FALSE(platform::WaylandIdleTimeSource::Connect(kde.SocketName())) << "nobody listens any more";
}

} // namespace
} // namespace kelmora::idle
