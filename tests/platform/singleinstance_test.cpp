#include "platform/localsingleinstance.h"
#include "support/childprocess.h"
#include "support/scopedenvironment.h"
#include "support/testsupport.h"

#include <QByteArray>
#include <QFile>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QString>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace kelmora::platform {
namespace {

using namespace std::chrono_literals;
using testsupport::ChildProcess;
using testsupport::ReadFile;
using testsupport::ScopedEnvironment;
using testsupport::TempDir;
using testsupport::WriteFile;
using Request = SingleInstance::Request;

constexpr int kWaitMs = 10000;
constexpr std::chrono::milliseconds kSendTimeout = 10s;

QString toQString(const std::filesystem::path& path)
{
    return QString::fromStdString(path.string());
}

// Runs `work` on a thread of its own while this thread keeps handling events, as a second process would
// while the instance under test answers it.
template <typename Work> auto runBesideEventLoop(Work work)
{
    std::atomic<bool> done{false};
    decltype(work()) result{};
    std::thread thread([&] {
        result = work();
        done.store(true);
    });
    const bool finished = QTest::qWaitFor([&] { return done.load(); }, kWaitMs);
    thread.join();
    EXPECT_TRUE(finished);
    return result;
}

class LocalSingleInstanceTest : public ::testing::Test
{
protected:
    QString lockPath() const { return toQString(m_dir.path() / "kelmora.lock"); }
    QString serverPath() const { return toQString(m_dir.path() / "kelmora.socket"); }
    std::unique_ptr<LocalSingleInstance> makeInstance(const QString& programName = QStringLiteral("platform_tests"))
    {
        return std::make_unique<LocalSingleInstance>(lockPath(), serverPath(), programName);
    }
    // Sends from a separate instance object on a thread of its own, as a later start of the program would.
    bool sendBeside(Request request)
    {
        return runBesideEventLoop([this, request] { return makeInstance()->send(request, kSendTimeout); });
    }

    TempDir m_dir;
};

// However long the holder has run, a second instance fails until the holder releases the slot; without a holder
// nothing answers a request.
TEST_F(LocalSingleInstanceTest, SecondAcquire_FailsWhileTheFirstHolds_SucceedsAfterRelease)
{
    auto first = makeInstance();
    auto second = makeInstance();
    EXPECT_FALSE(second->lockHolderPid());
    EXPECT_FALSE(second->runningInstancePid());
    EXPECT_FALSE(second->send(Request::Activate, kSendTimeout));
    ASSERT_TRUE(first->tryAcquire());
    EXPECT_TRUE(first->isListening());
    // As if the first instance had been running for a day.
    const std::filesystem::path lockFile = m_dir.path() / "kelmora.lock";
    std::filesystem::last_write_time(lockFile, std::filesystem::last_write_time(lockFile) - 24h);
    EXPECT_FALSE(second->tryAcquire());
    EXPECT_FALSE(second->isHeld());
    EXPECT_FALSE(second->isListening());
    EXPECT_EQ(second->runningInstancePid(), ::getpid());
    EXPECT_TRUE(first->tryAcquire());

    first->release();
    EXPECT_FALSE(first->isHeld());
    EXPECT_FALSE(QFile::exists(lockPath()));
    EXPECT_FALSE(QFile::exists(serverPath()));
    EXPECT_FALSE(second->send(Request::Terminate, kSendTimeout));
    EXPECT_TRUE(second->tryAcquire());
    EXPECT_TRUE(second->isHeld());
}

// The socket is reachable by this user only, and an unknown word on it is refused without a signal; a later start
// that asks for the holder's data folder gets it, whatever bytes it holds, and nothing else happens.
TEST_F(LocalSingleInstanceTest, UnknownWordRefused_FolderQueryAnswered_NeitherSignals)
{
    auto holder = makeInstance();
    const QString folder = QStringLiteral("/home/me/Time data\n%41/Zeitm\u00e4ssig");
    holder->setDataFolder(folder);
    ASSERT_TRUE(holder->tryAcquire());
    struct stat info
    {};
    ASSERT_EQ(::stat(serverPath().toLocal8Bit().constData(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & (S_IRWXG | S_IRWXO), 0u);
    EXPECT_EQ(info.st_uid, ::getuid());
    QSignalSpy activated(holder.get(), &SingleInstance::activateRequested);
    QSignalSpy terminated(holder.get(), &SingleInstance::terminateRequested);

    const QByteArray reply = runBesideEventLoop([this] {
        QLocalSocket socket;
        socket.connectToServer(serverPath());
        if (!socket.waitForConnected(kWaitMs)) {
            return QByteArray("not connected");
        }
        socket.write("Activate\n");
        socket.waitForBytesWritten(kWaitMs);
        QByteArray answer;
        while (!answer.contains('\n') && socket.waitForReadyRead(kWaitMs)) {
            answer += socket.readAll();
        }
        return answer;
    });
    EXPECT_EQ(reply, QByteArray("unknown\n"));
    EXPECT_EQ(runBesideEventLoop([this] { return makeInstance()->queryDataFolder(kSendTimeout); }), folder);
    QCoreApplication::processEvents();
    EXPECT_EQ(activated.count(), 0);
    EXPECT_EQ(terminated.count(), 0);
}

// A lock whose process is gone, or whose id has since gone to a live process of another program, is taken over.
TEST_F(LocalSingleInstanceTest, LockOfACrashedInstance_IsTakenOver)
{
    ChildProcess crashed(KELMORA_INSTANCE_HELPER_PATH, {lockPath().toStdString(), serverPath().toStdString()});
    ASSERT_EQ(crashed.readLine(kSendTimeout).value_or("").rfind("held ", 0), 0U);
    crashed.kill();
    const std::filesystem::path lockFile = m_dir.path() / "kelmora.lock";
    std::string left = ReadFile(lockFile);
    ASSERT_TRUE(QFile::exists(serverPath()));

    auto next = makeInstance();
    ASSERT_TRUE(next->tryAcquire());
    EXPECT_EQ(next->lockHolderPid(), ::getpid());
    // The socket the crashed instance left behind was replaced, so requests reach the new holder.
    ASSERT_TRUE(next->isListening());
    QSignalSpy activated(next.get(), &SingleInstance::activateRequested);
    EXPECT_TRUE(sendBeside(Request::Activate));
    EXPECT_TRUE(QTest::qWaitFor([&] { return activated.count() == 1; }, kWaitMs));
    next->release();

    // The id of the left lock now runs this test program.
    const std::size_t lineEnd = left.find('\n');
    ASSERT_NE(lineEnd, std::string::npos);
    left.replace(0, lineEnd, std::to_string(::getpid()));
    WriteFile(lockFile, left);
    auto later = makeInstance();
    ASSERT_EQ(later->lockHolderPid(), ::getpid());
    EXPECT_TRUE(later->tryAcquire());
}

TEST_F(LocalSingleInstanceTest, DefaultLocations_AreInTheUsersRuntimeFolder)
{
    std::filesystem::permissions(m_dir.path(), std::filesystem::perms::owner_all);
    const ScopedEnvironment runtime("XDG_RUNTIME_DIR", m_dir.path().string());

    EXPECT_EQ(defaultInstanceLockPath(), lockPath());
    EXPECT_EQ(defaultInstanceServerPath(), serverPath());
    const auto first = createSingleInstance();
    const auto second = createSingleInstance();
    EXPECT_TRUE(first->tryAcquire());
    EXPECT_FALSE(second->tryAcquire());
    EXPECT_TRUE(QFile::exists(lockPath()));
}

} // namespace
} // namespace kelmora::platform
