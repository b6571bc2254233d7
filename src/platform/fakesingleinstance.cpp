#include "fakesingleinstance.h"

namespace kelmora::platform {

FakeSingleInstance::FakeSingleInstance(std::shared_ptr<Slot> slot, std::int64_t pid, QObject* parent)
    : SingleInstance(parent), m_slot(std::move(slot)), m_pid(pid)
{}

FakeSingleInstance::~FakeSingleInstance()
{
    release();
}

bool FakeSingleInstance::tryAcquire()
{
    if (m_slot->holder != nullptr && m_slot->holder != this) {
        return false;
    }
    m_slot->holder = this;
    return true;
}

void FakeSingleInstance::release()
{
    if (m_slot->holder == this) {
        m_slot->holder = nullptr;
    }
}

bool FakeSingleInstance::isHeld() const
{
    return m_slot->holder == this;
}

bool FakeSingleInstance::send(Request request, std::chrono::milliseconds /*timeout*/)
{
    m_sent.push_back(request);
    FakeSingleInstance* holder = m_slot->holder;
    if (holder == nullptr || holder == this) {
        return false;
    }
    holder->receive(request);
    return true;
}

std::optional<QString> FakeSingleInstance::queryDataFolder(std::chrono::milliseconds /*timeout*/)
{
    FakeSingleInstance* holder = m_slot->holder;
    if (holder == nullptr || holder == this) {
        return std::nullopt;
    }
    return holder->dataFolder();
}

std::optional<std::int64_t> FakeSingleInstance::runningInstancePid() const
{
    if (m_slot->holder == nullptr) {
        return std::nullopt;
    }
    return m_slot->holder->m_pid;
}

void FakeSingleInstance::receive(Request request)
{
    if (request == Request::Activate) {
        emit activateRequested();
    } else {
        emit terminateRequested();
    }
}

} // namespace kelmora::platform
