#pragma once

#include "platform/singleinstance.h"

#include <memory>
#include <vector>

namespace kelmora::platform {

// Instances that share one Slot behave like processes of one user: the first to acquire it holds it, the
// others' requests reach the holder at once (its signals are emitted inside send()).
class FakeSingleInstance final : public SingleInstance
{
    Q_OBJECT

public:
    struct Slot
    {
        FakeSingleInstance* holder = nullptr;
    };

    // `pid` is the process id this instance pretends to have.
    FakeSingleInstance(std::shared_ptr<Slot> slot, std::int64_t pid, QObject* parent = nullptr);
    ~FakeSingleInstance() override;

    bool tryAcquire() override;
    void release() override;
    bool isHeld() const override;
    bool send(Request request, std::chrono::milliseconds timeout) override;
    std::optional<QString> queryDataFolder(std::chrono::milliseconds timeout) override;
    std::optional<std::int64_t> runningInstancePid() const override;

    // Every request this instance sent, delivered or not, oldest first.
    const std::vector<Request>& sentRequests() const { return m_sent; }
    // Emits the signal for `request` as if another start had sent it.
    void receive(Request request);

private:
    std::shared_ptr<Slot> m_slot;
    std::int64_t m_pid;
    std::vector<Request> m_sent;
};

} // namespace kelmora::platform
