#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct wl_display;
struct wl_resource;

namespace kelmora::platform {

// A Wayland compositor of a seat and the idle protocols chosen, serving on a thread of its own through a socket
// in $XDG_RUNTIME_DIR. The test plays the user: Idle and Resume send the events to every registration.
class FakeCompositor
{
public:
    FakeCompositor(bool extIdleNotify, bool kdeIdle);
    ~FakeCompositor();

    // What a client puts in WAYLAND_DISPLAY.
    const std::string& SocketName() const { return m_socket; }
    // The timeouts of the registrations alive now, oldest first.
    std::vector<std::uint32_t> Timeouts();
    void Idle();
    void Resume();
    // The compositor goes away: its clients' connections close.
    void Quit();

private:
    struct Registration
    {
        wl_resource* resource;
        std::uint32_t timeout;
        bool ext;
    };
    // Runs `task` on the compositor's thread and waits for it.
    void Run(const std::function<void()>& task);

    wl_display* m_display = nullptr;
    std::string m_socket;
    int m_wakeFd = -1;
    std::mutex m_mutex;
    std::vector<std::function<void()>> m_tasks;
    std::vector<Registration> m_registrations;
    std::atomic<bool> m_quit = false;
    std::jthread m_thread;

    friend struct FakeCompositorProtocols;
};

} // namespace kelmora::platform
