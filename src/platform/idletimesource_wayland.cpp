#include "ext-idle-notify-v1-client-protocol.h"
#include "idletimesource_backends.h"
#include "kde-idle-client-protocol.h"

#include <QMetaObject>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <wayland-client.h>

namespace kelmora::platform {

struct WaylandIdleTimeSource::Connection
{
    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    wl_seat* seat = nullptr;
    ext_idle_notifier_v1* extNotifier = nullptr;
    org_kde_kwin_idle* kdeIdle = nullptr;
    ext_idle_notification_v1* extNotification = nullptr;
    org_kde_kwin_idle_timeout* kdeTimeout = nullptr;
    std::unique_ptr<QSocketNotifier> notifier;
    SystemUptimeClocks systemClocks;
    const UptimeClocks* clocks = &systemClocks;

    // Written by the event loop's thread, read by the monitor's.
    std::mutex mutex;
    bool gone = false;
    std::optional<std::int64_t> idledAtMs;
    bool resumed = false;
    std::int64_t registeredMs = 0;
    std::int64_t wantedMs = 0;

    ~Connection()
    {
        notifier.reset();
        Unregister();
        if (extNotifier != nullptr) {
            ext_idle_notifier_v1_destroy(extNotifier);
        }
        if (kdeIdle != nullptr) {
            org_kde_kwin_idle_destroy(kdeIdle);
        }
        if (seat != nullptr) {
            wl_seat_destroy(seat);
        }
        if (registry != nullptr) {
            wl_registry_destroy(registry);
        }
        if (display != nullptr) {
            wl_display_disconnect(display);
        }
    }

    void Unregister()
    {
        if (extNotification != nullptr) {
            ext_idle_notification_v1_destroy(extNotification);
            extNotification = nullptr;
        }
        if (kdeTimeout != nullptr) {
            org_kde_kwin_idle_timeout_release(kdeTimeout);
            kdeTimeout = nullptr;
        }
    }

    void OnIdled()
    {
        const std::lock_guard lock(mutex);
        idledAtMs = clocks->MonotonicMs();
        resumed = false;
    }

    void OnResumed()
    {
        {
            const std::lock_guard lock(mutex);
            idledAtMs.reset();
            resumed = true;
        }
        // A changed timeout that had to wait for the end of the inactivity period.
        Register();
    }

    // On the event loop's thread.
    void Register()
    {
        std::int64_t wanted = 0;
        {
            const std::lock_guard lock(mutex);
            if (gone || wantedMs == registeredMs || idledAtMs) {
                return;
            }
            wanted = wantedMs;
            registeredMs = wanted;
        }
        Unregister();
        const auto timeout = static_cast<std::uint32_t>(wanted);
        if (extNotifier != nullptr) {
            static constexpr ext_idle_notification_v1_listener kListener{
                [](void* data, ext_idle_notification_v1*) { static_cast<Connection*>(data)->OnIdled(); },
                [](void* data, ext_idle_notification_v1*) { static_cast<Connection*>(data)->OnResumed(); }};
            extNotification = ext_idle_notifier_v1_get_idle_notification(extNotifier, timeout, seat);
            ext_idle_notification_v1_add_listener(extNotification, &kListener, this);
        } else {
            static constexpr org_kde_kwin_idle_timeout_listener kListener{
                [](void* data, org_kde_kwin_idle_timeout*) { static_cast<Connection*>(data)->OnIdled(); },
                [](void* data, org_kde_kwin_idle_timeout*) { static_cast<Connection*>(data)->OnResumed(); }};
            kdeTimeout = org_kde_kwin_idle_get_idle_timeout(kdeIdle, seat, timeout);
            org_kde_kwin_idle_timeout_add_listener(kdeTimeout, &kListener, this);
        }
        Flush();
    }

    void Flush()
    {
        // The requests are a few bytes; a full socket means a compositor that does not read, which the next
        // dispatch finds out.
        if (wl_display_flush(display) < 0 && errno != EAGAIN) {
            MarkGone();
        }
    }

    void MarkGone()
    {
        const std::lock_guard lock(mutex);
        gone = true;
        if (notifier) {
            notifier->setEnabled(false);
        }
    }

    // Reads what the socket holds without waiting (it is readable) and dispatches it.
    void Dispatch()
    {
        while (wl_display_prepare_read(display) != 0) {
            if (wl_display_dispatch_pending(display) < 0) {
                MarkGone();
                return;
            }
        }
        if (wl_display_read_events(display) < 0 || wl_display_dispatch_pending(display) < 0) {
            MarkGone();
        }
    }

    static void OnGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t)
    {
        auto* self = static_cast<Connection*>(data);
        if (std::strcmp(interface, wl_seat_interface.name) == 0 && self->seat == nullptr) {
            self->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        } else if (std::strcmp(interface, ext_idle_notifier_v1_interface.name) == 0) {
            self->extNotifier = static_cast<ext_idle_notifier_v1*>(
                wl_registry_bind(registry, name, &ext_idle_notifier_v1_interface, 1));
        } else if (std::strcmp(interface, org_kde_kwin_idle_interface.name) == 0) {
            self->kdeIdle =
                static_cast<org_kde_kwin_idle*>(wl_registry_bind(registry, name, &org_kde_kwin_idle_interface, 1));
        }
    }

    // Finds the seat and the idle protocols on offer. Nothing the source uses goes away while the compositor
    // runs; the compositor going away is seen on the socket.
    bool Discover(std::chrono::milliseconds wait)
    {
        static constexpr wl_registry_listener kListener{OnGlobal, [](void*, wl_registry*, std::uint32_t) {}};
        registry = wl_display_get_registry(display);
        wl_registry_add_listener(registry, &kListener, this);
        return RoundTrip(wait) && seat != nullptr && (extNotifier != nullptr || kdeIdle != nullptr);
    }

    // A round trip that gives up at the deadline, so a compositor that accepts but never answers costs at
    // most `wait`.
    bool RoundTrip(std::chrono::milliseconds wait)
    {
        bool done = false;
        static constexpr wl_callback_listener kDone{
            [](void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; }};
        wl_callback* callback = wl_display_sync(display);
        wl_callback_add_listener(callback, &kDone, &done);
        const auto deadline = std::chrono::steady_clock::now() + wait;
        bool ok = true;
        while (ok && !done) {
            while (ok && wl_display_prepare_read(display) != 0) {
                ok = wl_display_dispatch_pending(display) >= 0;
            }
            if (!ok || done) {
                if (ok) {
                    wl_display_cancel_read(display);
                }
                break;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd socket{wl_display_get_fd(display), POLLIN, 0};
            if (wl_display_flush(display) < 0 && errno != EAGAIN) {
                ok = false;
            } else if (left.count() <= 0 || ::poll(&socket, 1, static_cast<int>(left.count())) <= 0) {
                ok = false;
            }
            if (!ok) {
                wl_display_cancel_read(display);
                break;
            }
            ok = wl_display_read_events(display) >= 0 && wl_display_dispatch_pending(display) >= 0;
        }
        wl_callback_destroy(callback);
        return ok && done;
    }
};

WaylandIdleTimeSource::WaylandIdleTimeSource(std::unique_ptr<Connection> connection)
    : m_connection(std::move(connection))
{}

WaylandIdleTimeSource::~WaylandIdleTimeSource() = default;

std::unique_ptr<WaylandIdleTimeSource>
WaylandIdleTimeSource::Connect(const std::string& display, const UptimeClocks* clocks, std::chrono::milliseconds wait)
{
    auto connection = std::make_unique<Connection>();
    if (clocks != nullptr) {
        connection->clocks = clocks;
    }
    connection->display = wl_display_connect(display.empty() ? nullptr : display.c_str());
    if (connection->display == nullptr) {
        return nullptr;
    }
    if (!connection->Discover(wait)) {
        return nullptr;
    }
    // With both on offer, the standard protocol is used alone.
    if (connection->extNotifier != nullptr && connection->kdeIdle != nullptr) {
        org_kde_kwin_idle_destroy(connection->kdeIdle);
        connection->kdeIdle = nullptr;
    }
    connection->notifier =
        std::make_unique<QSocketNotifier>(wl_display_get_fd(connection->display), QSocketNotifier::Read);
    Connection* raw = connection.get();
    QObject::connect(connection->notifier.get(), &QSocketNotifier::activated, connection->notifier.get(),
                     [raw] { raw->Dispatch(); });
    return std::unique_ptr<WaylandIdleTimeSource>(new WaylandIdleTimeSource(std::move(connection)));
}

std::optional<std::int64_t> WaylandIdleTimeSource::IdleMs()
{
    const std::lock_guard lock(m_connection->mutex);
    if (m_connection->gone) {
        return std::nullopt;
    }
    if (m_connection->idledAtMs) {
        return m_connection->registeredMs + (m_connection->clocks->MonotonicMs() - *m_connection->idledAtMs);
    }
    if (m_connection->resumed) {
        m_connection->resumed = false;
        return 0;
    }
    return std::nullopt;
}

void WaylandIdleTimeSource::SetTimeoutMs(std::int64_t timeoutMs)
{
    {
        const std::lock_guard lock(m_connection->mutex);
        if (m_connection->wantedMs == timeoutMs || timeoutMs <= 0 || timeoutMs > 0xFFFF'FFFF) {
            return;
        }
        m_connection->wantedMs = timeoutMs;
    }
    // The connection's objects belong to the event loop's thread; the notifier lives there and is gone (and
    // with it this call) once the source is.
    Connection* raw = m_connection.get();
    QMetaObject::invokeMethod(
        m_connection->notifier.get(), [raw] { raw->Register(); }, Qt::QueuedConnection);
}

std::string WaylandIdleTimeSource::Name() const
{
    return m_connection->extNotifier != nullptr ? "Wayland ext-idle-notify-v1" : "Wayland org_kde_kwin_idle";
}

} // namespace kelmora::platform
