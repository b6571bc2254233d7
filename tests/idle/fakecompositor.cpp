#include "fakecompositor.h"

#include "ext-idle-notify-v1-server-protocol.h"
#include "kde-idle-server-protocol.h"

#include <algorithm>
#include <cstdint>
#include <future>
#include <sys/eventfd.h>
#include <unistd.h>
#include <wayland-server.h>

namespace kelmora::platform {

// The protocol handlers, with access to the compositor's registrations.
struct FakeCompositorProtocols
{
    static FakeCompositor* Self(wl_resource* resource)
    {
        return static_cast<FakeCompositor*>(wl_resource_get_user_data(resource));
    }
    static void Destroy(wl_client*, wl_resource* resource) { wl_resource_destroy(resource); }
    static void Forget(wl_resource* resource)
    {
        auto& all = Self(resource)->m_registrations;
        std::erase_if(all, [resource](const FakeCompositor::Registration& r) { return r.resource == resource; });
    }
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
        wl_resource_set_implementation(resource, ext ? static_cast<const void*>(&kExt) : &kKde, Self(parent), Forget);
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
        wl_resource* resource = wl_resource_create(client, &ext_idle_notifier_v1_interface, 1, id);
        wl_resource_set_implementation(resource, &kImpl, data, nullptr);
    }
    static void BindKde(wl_client* client, void* data, std::uint32_t, std::uint32_t id)
    {
        static const struct org_kde_kwin_idle_interface kImpl
        {
            [](wl_client* c, wl_resource* r, std::uint32_t newId, wl_resource*, std::uint32_t timeout) {
                Register(c, r, newId, timeout, false);
            }
        };
        wl_resource* resource = wl_resource_create(client, &org_kde_kwin_idle_interface, 1, id);
        wl_resource_set_implementation(resource, &kImpl, data, nullptr);
    }
    static void BindSeat(wl_client* client, void* data, std::uint32_t, std::uint32_t id)
    {
        static const struct wl_seat_interface kImpl
        {
            [](wl_client*, wl_resource*, std::uint32_t) {}, [](wl_client*, wl_resource*, std::uint32_t) {},
                [](wl_client*, wl_resource*, std::uint32_t) {}, Destroy
        };
        wl_resource* resource = wl_resource_create(client, &wl_seat_interface, 1, id);
        wl_resource_set_implementation(resource, &kImpl, data, nullptr);
        wl_seat_send_capabilities(resource, 0);
    }
};

FakeCompositor::FakeCompositor(bool extIdleNotify, bool kdeIdle)
{
    m_display = wl_display_create();
    m_socket = wl_display_add_socket_auto(m_display);
    wl_global_create(m_display, &wl_seat_interface, 1, this, FakeCompositorProtocols::BindSeat);
    if (extIdleNotify) {
        wl_global_create(m_display, &ext_idle_notifier_v1_interface, 1, this, FakeCompositorProtocols::BindExt);
    }
    if (kdeIdle) {
        wl_global_create(m_display, &org_kde_kwin_idle_interface, 1, this, FakeCompositorProtocols::BindKde);
    }
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    wl_event_loop_add_fd(
        wl_display_get_event_loop(m_display), m_wakeFd, WL_EVENT_READABLE,
        [](int fd, std::uint32_t, void* data) {
            std::uint64_t count = 0;
            [[maybe_unused]] const auto read = ::read(fd, &count, sizeof count);
            auto* self = static_cast<FakeCompositor*>(data);
            std::vector<std::function<void()>> tasks;
            {
                const std::lock_guard lock(self->m_mutex);
                tasks.swap(self->m_tasks);
            }
            for (const auto& task : tasks) {
                task();
            }
            return 0;
        },
        this);
    m_thread = std::jthread([this] {
        while (!m_quit) {
            wl_event_loop_dispatch(wl_display_get_event_loop(m_display), -1);
            wl_display_flush_clients(m_display);
        }
    });
}

FakeCompositor::~FakeCompositor()
{
    Quit();
    ::close(m_wakeFd);
}

void FakeCompositor::Run(const std::function<void()>& task)
{
    if (m_quit) {
        return;
    }
    std::promise<void> done;
    {
        const std::lock_guard lock(m_mutex);
        m_tasks.emplace_back([&] {
            task();
            done.set_value();
        });
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(m_wakeFd, &one, sizeof one);
    done.get_future().wait();
}

std::vector<std::uint32_t> FakeCompositor::Timeouts()
{
    std::vector<std::uint32_t> timeouts;
    Run([&] {
        for (const Registration& r : m_registrations) {
            timeouts.push_back(r.timeout);
        }
    });
    return timeouts;
}

void FakeCompositor::Idle()
{
    Run([this] {
        for (const Registration& r : m_registrations) {
            r.ext ? ext_idle_notification_v1_send_idled(r.resource) : org_kde_kwin_idle_timeout_send_idle(r.resource);
        }
    });
}

void FakeCompositor::Resume()
{
    Run([this] {
        for (const Registration& r : m_registrations) {
            r.ext ? ext_idle_notification_v1_send_resumed(r.resource)
                  : org_kde_kwin_idle_timeout_send_resumed(r.resource);
        }
    });
}

void FakeCompositor::Quit()
{
    if (m_display == nullptr) {
        return;
    }
    Run([this] { m_quit = true; });
    m_thread.join();
    wl_display_destroy_clients(m_display);
    wl_display_destroy(m_display);
    m_display = nullptr;
}

} // namespace kelmora::platform
