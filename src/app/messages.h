#pragma once

#include <QEvent>

#include <cstdint>

class QObject;

namespace kelmora::app {

// The hub's internal messages. Everything that must reach the main window from a dialog, a tray icon or
// a background loop is posted as one of these, so they are handled one at a time, in order, on the UI
// thread.
enum Message : int
{
    kMsgTrayCallback = 0x8064,
    kMsgTaskState = 0x8065,
    kMsgShowTaskList = 0x8066,
    kMsgIdle = 0x8067,
    kMsgCreateTaskRequest = 0x8068,
    kMsgTaskCreated = 0x8069,
    kMsgCategoriesChanged = 0x806A,
    kMsgTimeLogChanged = 0x806B,
    kMsgTick = 0x07E8,
};

// Icon ids carried by the task-state message.
inline constexpr std::int32_t kRunningIconId = 135;
inline constexpr std::int32_t kIdleIconId = 136;

// A posted message: its event type is the message number, with two integer parameters.
class MessageEvent final : public QEvent
{
public:
    MessageEvent(Message message, std::int64_t wParam, std::int64_t lParam);

    Message message() const { return static_cast<Message>(type()); }
    std::int64_t wParam() const { return m_wParam; }
    std::int64_t lParam() const { return m_lParam; }

private:
    std::int64_t m_wParam;
    std::int64_t m_lParam;
};

// Queues the message for `receiver` on the receiver's thread. Safe to call from any thread.
void PostMessage(QObject* receiver, Message message, std::int64_t wParam = 0, std::int64_t lParam = 0);

} // namespace kelmora::app
