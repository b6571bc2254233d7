#pragma once

#include "ext-idle-notify-v1-server-protocol.h"
#include "kde-idle-server-protocol.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <poll.h>
#include <string>
#include <thread>
#include <vector>
#include <wayland-server.h>

namespace kelmora::platform {

// A Wayland compositor of a seat and the idle protocols chosen, serving on a thread of its own through a socket
// in $XDG_RUNTIME_DIR. The test plays the user: Idle and Resume send the events to every registration.
class FakeCompositor
{
public:
    FakeCompositor(bool extIdleNotify, bool kdeIdle) : m_display(wl_display_create())
    {
        m_socket = wl_display_add_socket_auto(m_display);
        wl_global_create(m_display, &wl_seat_interface, 1, this, BindSeat);
        if (extIdleNotify) {
            wl_global_create(m_display, &ext_idle_notifier_v1_interface, 1, this, BindExt);
        }
        if (kdeIdle) {
            wl_global_create(m_display, &org_kde_kwin_idle_interface, 1, this, BindKde);
        }
        m_thread = std::jthread([this] {
            wl_event_loop* loop = wl_display_get_event_loop(m_display);
            while (!m_quit) {
                if (!m_hung) {
                    const std::lock_guard lock(m_mutex);
                    wl_event_loop_dispatch(loop, 0);
                    wl_display_flush_clients(m_display);
                }
                pollfd events{wl_event_loop_get_fd(loop), POLLIN, 0};
                ::poll(&events, 1, 5);
            }
        });
    }
    ~FakeCompositor() { Quit(); }

    // What a client puts in WAYLAND_DISPLAY.
    const std::string& SocketName() const { return m_socket; }
    // The timeouts of the registrations alive now, oldest first.
    std::vector<std::uint32_t> Timeouts()
    {
        const std::lock_guard lock(m_mutex);
        std::vector<std::uint32_t> timeouts;
        for (const Registration& r : m_registrations) {
            timeouts.push_back(r.timeout);
        }
        return timeouts;
    }
    void Idle() { Send(ext_idle_notification_v1_send_idled, org_kde_kwin_idle_timeout_send_idle); }
    void Resume() { Send(ext_idle_notification_v1_send_resumed, org_kde_kwin_idle_timeout_send_resumed); }
    // The compositor still accepts connections but answers nothing.
    void Hang() { m_hung = true; }
    // The compositor goes away: its clients' connections close.
    void Quit()
    {
        if (m_display != nullptr) {
            m_quit = true;
            m_thread.join();
            wl_display_destroy_clients(m_display);
            wl_display_destroy(m_display);
            m_display = nullptr;
        }
    }

private:
    struct Registration
    {
        wl_resource* resource;
        std::uint32_t timeout;
        bool ext;
    };

    void Send(void (*ext)(wl_resource*), void (*kde)(wl_resource*))
    {
        const std::lock_guard lock(m_mutex);
        for (const Registration& r : m_registrations) {
            (r.ext ? ext : kde)(r.resource);
        }
    }
    static FakeCompositor* Self(wl_resource* resource)
    {
        return static_cast<FakeCompositor*>(wl_resource_get_user_data(resource));
    }
    static void Destroy(wl_client*, wl_resource* resource) { wl_resource_destroy(resource); }
    static void Register(wl_client* client, wl_resource* parent, std::uint32_t id, std::uint32_t timeout, bool ext)
    {
        static const struct ext_idle_notification_v1_interface kExt
        {
            Destroy
        };
        static const struct org_kde_kwin_idle_timeout_interface kKde
        {
            Destroy, [](wl_client*, wl_resource*) {}
        };
        wl_resource* resource = wl_resource_create(
            client, ext ? &ext_idle_notification_v1_interface : &org_kde_kwin_idle_timeout_interface, 1, id);
        wl_resource_set_implementation(resource, ext ? static_cast<const void*>(&kExt) : &kKde, Self(parent),
                                       [](wl_resource* gone) {
                                           std::erase_if(Self(gone)->m_registrations,
                                                         [gone](const Registration& r) { return r.resource == gone; });
                                       });
        Self(parent)->m_registrations.push_back({resource, timeout, ext});
    }
    static void BindExt(wl_client* client, void* data, std::uint32_t, std::uint32_t id)
    {
        static const struct ext_idle_notifier_v1_interface kImpl
        {
            Destroy, [](wl_client* c, wl_resource* r, std::uint32_t newId, std::uint32_t timeout, wl_resource*) {
                Register(c, r, newId, timeout, true);
            }
        };
        wl_resource_set_implementation(wl_resource_create(client, &ext_idle_notifier_v1_interface, 1, id), &kImpl, data,
                                       nullptr);
    }
    static void BindKde(wl_client* client, void* data, std::uint32_t, std::uint32_t id)
    {
        static const struct org_kde_kwin_idle_interface kImpl
        {
            [](wl_client* c, wl_resource* r, std::uint32_t newId, wl_resource*, std::uint32_t timeout) {
                Register(c, r, newId, timeout, false);
            }
        };
        wl_resource_set_implementation(wl_resource_create(client, &org_kde_kwin_idle_interface, 1, id), &kImpl, data,
                                       nullptr);
    }
    // A seat without devices: the idle protocols only name it.
    static void BindSeat(wl_client* client, void* data, std::uint32_t, std::uint32_t id)
    {
        static const auto kNone = [](wl_client*, wl_resource*, std::uint32_t) {};
        static const struct wl_seat_interface kImpl
        {
            kNone, kNone, kNone, Destroy
        };
        wl_resource* resource = wl_resource_create(client, &wl_seat_interface, 1, id);
        wl_resource_set_implementation(resource, &kImpl, data, nullptr);
        wl_seat_send_capabilities(resource, 0);
    }

    wl_display* m_display;
    std::string m_socket;
    std::mutex m_mutex;
    std::vector<Registration> m_registrations;
    std::atomic<bool> m_quit = false;
    std::atomic<bool> m_hung = false;
    std::jthread m_thread;
};

} // namespace kelmora::platform
