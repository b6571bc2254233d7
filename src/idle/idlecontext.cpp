#include "idlecontext.h"

#include "app/kelmoraapp.h"

namespace kelmora::idle {

IdleContext MakeIdleContext(app::CKelmoraApp& app)
{
    return IdleContext{
        app.Store(),
        app.Settings(),
        [&app] { return app.CurrentTaskId(); },
        [&app](std::int32_t id) { app.SetCurrentTaskId(id); },
        [&app](app::Message message, std::int64_t wParam, std::int64_t lParam) {
            app::PostMessage(app.MainWnd(), message, wParam, lParam);
        },
        // The idle question says something only when it refuses an answer or has to leave the time alone.
        [&app](QWidget* owner, const QString& text, const QString& caption) {
            app.ShowMessage(owner, text, caption, app::MessageIcon::Warning);
        },
    };
}

} // namespace kelmora::idle
