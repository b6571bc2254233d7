#pragma once

#include "app/messages.h"

#include <QString>

#include <cstdint>
#include <functional>

class QWidget;

namespace kelmora::model {
class TaskStore;
}
namespace kelmora::platform {
class SettingsStore;
}

namespace kelmora::app {
class CKelmoraApp;
}

namespace kelmora::idle {

// What the idle monitor, the idle-period dialog and the reminder need of the application. Everything but
// showMessage may be used from a background loop: the store guards its id list, the settings store is
// safe from any thread, the current task id is atomic and posting queues an event.
struct IdleContext
{
    model::TaskStore& store;
    platform::SettingsStore& settings;
    std::function<std::int32_t()> currentTaskId;
    // Only from the user-interface thread.
    std::function<void(std::int32_t)> setCurrentTaskId;
    // Posts one of the hub's messages.
    std::function<void(app::Message message, std::int64_t wParam, std::int64_t lParam)> post;
    // A message box with an OK button, owned by `owner`. Only from the user-interface thread.
    std::function<void(QWidget* owner, const QString& text, const QString& caption)> showMessage;
};

// The context of the running application, whose hub receives the posted messages.
IdleContext MakeIdleContext(app::CKelmoraApp& app);

} // namespace kelmora::idle
