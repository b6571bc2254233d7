#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

namespace kelmora::platform {

// One running instance per user. The instance that holds the slot receives the requests of later starts; a
// later start that cannot take the slot hands its request ("activate" or "terminate") to the holder.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    enum class Request
    {
        Activate,
        Terminate,
    };

    using QObject::QObject;

    // Takes the slot and starts listening for requests. False only while another live instance holds it: when
    // the slot cannot be used at all (no folder for it, no permission) the program runs unguarded, and
    // isHeld() stays false.
    virtual bool tryAcquire() = 0;
    // Stops listening and frees the slot; nothing when it is not held.
    virtual void release() = 0;
    virtual bool isHeld() const = 0;

    // Hands `request` to the instance that holds the slot. True once it has confirmed receipt; false when no
    // instance answers within `timeout`.
    virtual bool send(Request request, std::chrono::milliseconds timeout) = 0;

    // The data folder that the holder tells a later start which asks for it: that start may have been given
    // another one, which the holder would not show.
    void setDataFolder(const QString& folder) { m_dataFolder = folder; }
    const QString& dataFolder() const { return m_dataFolder; }
    // The holder's data folder; nothing when no instance answers within `timeout` or it does not say.
    virtual std::optional<QString> queryDataFolder(std::chrono::milliseconds timeout) = 0;

    // The process id of the instance holding the slot, only when that process is this user's and runs this
    // program; nothing otherwise (no holder, or the recorded id now belongs to something else).
    virtual std::optional<std::int64_t> runningInstancePid() const = 0;

signals:
    // A later start asked this instance to show its Task List window.
    void activateRequested();
    // A later start asked this instance to close.
    void terminateRequested();

private:
    QString m_dataFolder;
};

// The platform's implementation at its usual per-user location.
std::unique_ptr<SingleInstance> createSingleInstance();

} // namespace kelmora::platform
