#include "idletimesource_backends.h"

#include <cstdlib>
#include <xcb/screensaver.h>
#include <xcb/xcb.h>

namespace kelmora::platform {

struct X11IdleTimeSource::Connection
{
    xcb_connection_t* xcb = nullptr;
    xcb_window_t root = 0;

    ~Connection()
    {
        if (xcb != nullptr) {
            xcb_disconnect(xcb);
        }
    }
};

X11IdleTimeSource::X11IdleTimeSource(std::unique_ptr<Connection> connection) : m_connection(std::move(connection)) {}

X11IdleTimeSource::~X11IdleTimeSource() = default;

std::unique_ptr<X11IdleTimeSource> X11IdleTimeSource::Connect(const std::string& display)
{
    auto connection = std::make_unique<Connection>();
    int screenNumber = 0;
    // xcb_connect always returns an object, which must be freed even when it is in error.
    connection->xcb = xcb_connect(display.empty() ? nullptr : display.c_str(), &screenNumber);
    if (xcb_connection_has_error(connection->xcb) != 0) {
        return nullptr;
    }
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection->xcb, &xcb_screensaver_id);
    if (extension == nullptr || extension->present == 0) {
        return nullptr;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection->xcb));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    if (screens.rem <= 0) {
        return nullptr;
    }
    connection->root = screens.data->root;
    auto source = std::unique_ptr<X11IdleTimeSource>(new X11IdleTimeSource(std::move(connection)));
    if (!source->IdleMs()) {
        return nullptr;
    }
    return source;
}

std::optional<std::int64_t> X11IdleTimeSource::IdleMs()
{
    if (xcb_connection_has_error(m_connection->xcb) != 0) {
        return std::nullopt;
    }
    const xcb_screensaver_query_info_cookie_t cookie =
        xcb_screensaver_query_info(m_connection->xcb, m_connection->root);
    xcb_screensaver_query_info_reply_t* reply = xcb_screensaver_query_info_reply(m_connection->xcb, cookie, nullptr);
    if (reply == nullptr) {
        return std::nullopt;
    }
    const std::int64_t ms = reply->ms_since_user_input;
    std::free(reply);
    return ms;
}

} // namespace kelmora::platform
