#include "localsingleinstance.h"

#include "platform/processinfo.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <unistd.h>

namespace kelmora::platform {

namespace {

// A request is one word and a newline; anything longer is not one of ours.
constexpr qint64 kMaxMessageBytes = 64;
// An answer may carry a folder: a path of the longest length Linux allows, each byte percent-encoded.
constexpr qint64 kMaxReplyBytes = 16 * 1024;
// How long a connected client may take to send its request before the connection is dropped.
constexpr std::chrono::milliseconds kRequestTimeout{5000};
const QByteArray kAcknowledged = QByteArrayLiteral("ok\n");
const QByteArray kRefused = QByteArrayLiteral("unknown\n");
const QByteArray kFolderQuery = QByteArrayLiteral("folder\n");
// Followed by the folder, percent-encoded so that no byte of it can end the line.
const QByteArray kFolderReply = QByteArrayLiteral("folder ");

QByteArray messageFor(SingleInstance::Request request)
{
    return request == SingleInstance::Request::Activate ? QByteArrayLiteral("activate\n")
                                                        : QByteArrayLiteral("terminate\n");
}

std::optional<SingleInstance::Request> requestFor(const QByteArray& message)
{
    if (message == messageFor(SingleInstance::Request::Activate)) {
        return SingleInstance::Request::Activate;
    }
    if (message == messageFor(SingleInstance::Request::Terminate)) {
        return SingleInstance::Request::Terminate;
    }
    return std::nullopt;
}

int remainingMs(const QDeadlineTimer& deadline)
{
    return static_cast<int>(std::clamp<qint64>(deadline.remainingTime(), 0, INT_MAX));
}

QString runtimeFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) {
        folder = QDir::tempPath() + QStringLiteral("/kelmora-") + QString::number(::getuid());
    }
    return folder;
}

} // namespace

LocalSingleInstance::LocalSingleInstance(const QString& lockFilePath, const QString& serverPath,
                                         const QString& programName, QObject* parent)
    : SingleInstance(parent), m_lockFilePath(lockFilePath), m_serverPath(serverPath), m_programName(programName),
      m_lock(lockFilePath)
{
    // A holder may run for weeks, so the lock's age must never make it stale; only a recorded process that no
    // longer runs (or whose id now runs another program) does, which QLockFile checks by itself. QLockFile also
    // keeps a live lock from being broken with flock(), but not every file system honours that.
    m_lock.setStaleLockTime(0);
}

LocalSingleInstance::~LocalSingleInstance()
{
    release();
}

bool LocalSingleInstance::tryAcquire()
{
    if (m_lock.isLocked()) {
        return true;
    }
    QDir().mkpath(QFileInfo(m_lockFilePath).absolutePath());
    if (!m_lock.tryLock(0)) {
        return m_lock.error() != QLockFile::LockFailedError;
    }
    auto server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    // Holding the lock proves that no other instance serves this socket, so one left by a crashed instance
    // is in the way and goes.
    QLocalServer::removeServer(m_serverPath);
    if (server->listen(m_serverPath)) {
        connect(server.get(), &QLocalServer::newConnection, this, &LocalSingleInstance::acceptConnections);
        m_server = std::move(server);
    }
    return true;
}

void LocalSingleInstance::release()
{
    if (m_server) {
        m_server->close();
        m_server.reset();
    }
    if (m_lock.isLocked()) {
        m_lock.unlock();
    }
}

bool LocalSingleInstance::isHeld() const
{
    return m_lock.isLocked();
}

bool LocalSingleInstance::isListening() const
{
    return m_server && m_server->isListening();
}

bool LocalSingleInstance::send(Request request, std::chrono::milliseconds timeout)
{
    return exchange(messageFor(request), timeout) == kAcknowledged;
}

std::optional<QString> LocalSingleInstance::queryDataFolder(std::chrono::milliseconds timeout)
{
    // An older holder refuses the question; it is then not known where it keeps its data.
    const std::optional<QByteArray> reply = exchange(kFolderQuery, timeout);
    if (!reply || !reply->startsWith(kFolderReply) || !reply->endsWith('\n')) {
        return std::nullopt;
    }
    return QString::fromUtf8(QByteArray::fromPercentEncoding(reply->mid(kFolderReply.size()).chopped(1)));
}

std::optional<QByteArray> LocalSingleInstance::exchange(const QByteArray& message,
                                                        std::chrono::milliseconds timeout) const
{
    const QDeadlineTimer deadline(timeout);
    QLocalSocket socket;
    socket.connectToServer(m_serverPath);
    if (!socket.waitForConnected(remainingMs(deadline))) {
        return std::nullopt;
    }
    socket.write(message);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(remainingMs(deadline))) {
            return std::nullopt;
        }
    }
    QByteArray reply;
    while (!reply.contains('\n')) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(remainingMs(deadline))) {
            return std::nullopt;
        }
        reply += socket.read(kMaxReplyBytes);
        if (reply.size() > kMaxReplyBytes) {
            return std::nullopt;
        }
    }
    return reply;
}

std::optional<std::int64_t> LocalSingleInstance::lockHolderPid() const
{
    qint64 pid = 0;
    QString hostName;
    QString appName;
    if (!m_lock.getLockInfo(&pid, &hostName, &appName) || pid <= 0) {
        return std::nullopt;
    }
    return pid;
}

std::optional<std::int64_t> LocalSingleInstance::runningInstancePid() const
{
    const auto pid = lockHolderPid();
    if (pid && isOwnProgram(*pid, m_programName.toStdString())) {
        return pid;
    }
    return std::nullopt;
}

void LocalSingleInstance::acceptConnections()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(kRequestTimeout, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        readRequest(socket);
    }
}

void LocalSingleInstance::readRequest(QLocalSocket* socket)
{
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > kMaxMessageBytes) {
            socket->abort();
            socket->deleteLater();
        }
        return;
    }
    const QByteArray message = socket->readLine(kMaxMessageBytes + 1);
    // One request per connection: whatever follows is not read.
    disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
    if (message == kFolderQuery) {
        socket->write(kFolderReply + dataFolder().toUtf8().toPercentEncoding() + '\n');
        socket->disconnectFromServer();
        return;
    }
    const auto request = requestFor(message);
    socket->write(request ? kAcknowledged : kRefused);
    socket->disconnectFromServer();
    if (!request) {
        return;
    }
    // Queued, so that a receiver may release this instance (and with it the socket whose signal brought the
    // request here) without pulling the ground from under this function.
    const bool activate = *request == Request::Activate;
    QMetaObject::invokeMethod(
        this,
        [this, activate] {
            if (activate) {
                emit activateRequested();
            } else {
                emit terminateRequested();
            }
        },
        Qt::QueuedConnection);
}

QString defaultInstanceLockPath()
{
    return runtimeFolder() + QStringLiteral("/kelmora.lock");
}

QString defaultInstanceServerPath()
{
    return runtimeFolder() + QStringLiteral("/kelmora.socket");
}

std::unique_ptr<SingleInstance> createSingleInstance()
{
    return std::make_unique<LocalSingleInstance>(defaultInstanceLockPath(), defaultInstanceServerPath(),
                                                 QStringLiteral("kelmora"));
}

} // namespace kelmora::platform
