#include "messages.h"

#include <QCoreApplication>

namespace kelmora::app {

namespace {

// Reserves the message numbers with Qt's event registry once, so no other component is handed the same
// event types.
bool RegisterMessageTypes()
{
    for (const int message : {kMsgTrayCallback, kMsgTaskState, kMsgShowTaskList, kMsgIdle, kMsgCreateTaskRequest,
                              kMsgTaskCreated, kMsgCategoriesChanged, kMsgTimeLogChanged, kMsgTick}) {
        QEvent::registerEventType(message);
    }
    return true;
}

} // namespace

MessageEvent::MessageEvent(Message message, std::int64_t wParam, std::int64_t lParam)
    : QEvent(static_cast<QEvent::Type>(message)), m_wParam(wParam), m_lParam(lParam)
{
    static const bool registered = RegisterMessageTypes();
    (void)registered;
}

void PostMessage(QObject* receiver, Message message, std::int64_t wParam, std::int64_t lParam)
{
    if (receiver != nullptr) {
        QCoreApplication::postEvent(receiver, new MessageEvent(message, wParam, lParam));
    }
}

} // namespace kelmora::app
