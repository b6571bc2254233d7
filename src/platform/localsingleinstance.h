#pragma once

#include "platform/singleinstance.h"

#include <QLockFile>
#include <QString>

#include <memory>

class QLocalServer;
class QLocalSocket;

namespace kelmora::platform {

// The slot is a lock file that records the holder's process id; a lock left by a crashed holder is taken
// over. Requests travel through a local socket that only this user may connect to.
class LocalSingleInstance final : public SingleInstance
{
    Q_OBJECT

public:
    // `programName` is the executable file name a holder must run for runningInstancePid() to report it.
    LocalSingleInstance(const QString& lockFilePath, const QString& serverPath, const QString& programName,
                        QObject* parent = nullptr);
    ~LocalSingleInstance() override;

    bool tryAcquire() override;
    void release() override;
    bool isHeld() const override;
    bool send(Request request, std::chrono::milliseconds timeout) override;
    std::optional<QString> queryDataFolder(std::chrono::milliseconds timeout) override;
    std::optional<std::int64_t> runningInstancePid() const override;

    // The process id the lock file records, unchecked; nothing when there is no readable lock.
    std::optional<std::int64_t> lockHolderPid() const;
    // True while requests can reach this instance.
    bool isListening() const;

private:
    // Sends `message` to the holder and returns its one-line answer, newline included.
    std::optional<QByteArray> exchange(const QByteArray& message, std::chrono::milliseconds timeout) const;
    void acceptConnections();
    void readRequest(QLocalSocket* socket);

    QString m_lockFilePath;
    QString m_serverPath;
    QString m_programName;
    QLockFile m_lock;
    std::unique_ptr<QLocalServer> m_server;
};

// "<runtime folder>/kelmora.lock" and "<runtime folder>/kelmora.socket": the user's runtime folder is
// private to the user and emptied at logout, so neither outlives the session.
QString defaultInstanceLockPath();
QString defaultInstanceServerPath();

} // namespace kelmora::platform
