#include "platform/globalshortcutsx11.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <cstdlib>
#include <xcb/xcb_keysyms.h>

namespace kelmora::platform {

namespace {

constexpr xcb_keysym_t kNumLockSym = 0xff7f;
constexpr xcb_keysym_t kScrollLockSym = 0xff14;
// The modifiers a binding can ask for; every other bit of an event's state is ignored.
constexpr std::uint16_t kBindingMask = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

std::uint16_t X11Modifiers(std::uint32_t modifiers)
{
    std::uint16_t mask = 0;
    if ((modifiers & kModAlt) != 0) {
        mask |= XCB_MOD_MASK_1;
    }
    if ((modifiers & kModControl) != 0) {
        mask |= XCB_MOD_MASK_CONTROL;
    }
    if ((modifiers & kModShift) != 0) {
        mask |= XCB_MOD_MASK_SHIFT;
    }
    if ((modifiers & kModWin) != 0) {
        mask |= XCB_MOD_MASK_4;
    }
    return mask;
}

// Letters map to their lower-case keysym (the one on the unshifted key), digits to their own.
xcb_keysym_t KeySym(std::uint32_t key)
{
    if (key >= 'A' && key <= 'Z') {
        return key - 'A' + 'a';
    }
    if (key >= '0' && key <= '9') {
        return key;
    }
    return 0;
}

} // namespace

class X11EventFilter final : public QAbstractNativeEventFilter
{
public:
    explicit X11EventFilter(X11GlobalShortcuts& owner) : m_owner(owner) {}

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* /*result*/) override
    {
        return eventType == "xcb_generic_event_t" &&
               m_owner.HandleEvent(static_cast<const xcb_generic_event_t*>(message));
    }

private:
    X11GlobalShortcuts& m_owner;
};

X11GlobalShortcuts::X11GlobalShortcuts(xcb_connection_t* connection, xcb_window_t root)
    : m_connection(connection), m_root(root), m_symbols(xcb_key_symbols_alloc(connection))
{
    ReadLockMasks();
}

X11GlobalShortcuts::~X11GlobalShortcuts()
{
    if (m_filter && QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->removeNativeEventFilter(m_filter.get());
    }
    for (const Grab& grab : m_grabs) {
        Ungrab(grab);
    }
    xcb_flush(m_connection);
    if (m_symbols != nullptr) {
        xcb_key_symbols_free(m_symbols);
    }
}

std::unique_ptr<X11GlobalShortcuts> X11GlobalShortcuts::Create()
{
    auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    auto* x11 = application != nullptr ? application->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
    if (connection == nullptr) {
        return nullptr;
    }
    const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    if (screens.rem == 0) {
        return nullptr;
    }
    auto shortcuts = std::make_unique<X11GlobalShortcuts>(connection, screens.data->root);
    shortcuts->m_filter = std::make_unique<X11EventFilter>(*shortcuts);
    application->installNativeEventFilter(shortcuts->m_filter.get());
    return shortcuts;
}

// Num Lock and Scroll Lock sit on whichever of Mod1..Mod5 the keyboard map gives them.
void X11GlobalShortcuts::ReadLockMasks()
{
    xcb_get_modifier_mapping_reply_t* reply =
        xcb_get_modifier_mapping_reply(m_connection, xcb_get_modifier_mapping(m_connection), nullptr);
    if (reply == nullptr || m_symbols == nullptr) {
        std::free(reply);
        m_lockMask = XCB_MOD_MASK_LOCK;
        return;
    }
    auto findMask = [&](xcb_keysym_t sym) -> std::uint16_t {
        xcb_keycode_t* wanted = xcb_key_symbols_get_keycode(m_symbols, sym);
        std::uint16_t mask = 0;
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(reply);
        const int perModifier = reply->keycodes_per_modifier;
        for (int modifier = 0; modifier < 8 && wanted != nullptr; ++modifier) {
            for (int i = 0; i < perModifier; ++i) {
                const xcb_keycode_t code = codes[modifier * perModifier + i];
                for (const xcb_keycode_t* w = wanted; code != 0 && *w != XCB_NO_SYMBOL; ++w) {
                    if (*w == code) {
                        mask = static_cast<std::uint16_t>(mask | (1u << modifier));
                    }
                }
            }
        }
        std::free(wanted);
        return mask;
    };
    m_numLockMask = findMask(kNumLockSym);
    m_scrollLockMask = findMask(kScrollLockSym);
    m_lockMask = static_cast<std::uint16_t>(XCB_MOD_MASK_LOCK | m_numLockMask | m_scrollLockMask);
    std::free(reply);
}

// Every subset of the lock masks, the empty one first.
std::vector<std::uint16_t> X11GlobalShortcuts::LockVariants() const
{
    std::vector<std::uint16_t> variants{0};
    for (const std::uint16_t lock : {std::uint16_t{XCB_MOD_MASK_LOCK}, m_numLockMask, m_scrollLockMask}) {
        if (lock == 0) {
            continue;
        }
        const std::size_t count = variants.size();
        for (std::size_t i = 0; i < count; ++i) {
            variants.push_back(static_cast<std::uint16_t>(variants[i] | lock));
        }
    }
    return variants;
}

bool X11GlobalShortcuts::GrabAll(const Grab& grab)
{
    std::vector<xcb_void_cookie_t> cookies;
    for (const xcb_keycode_t code : grab.keycodes) {
        for (const std::uint16_t variant : LockVariants()) {
            cookies.push_back(xcb_grab_key_checked(m_connection, 1, m_root,
                                                   static_cast<std::uint16_t>(grab.modifiers | variant), code,
                                                   XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        }
    }
    bool ok = !cookies.empty();
    for (const xcb_void_cookie_t cookie : cookies) {
        // BadAccess: another client grabbed this combination first.
        if (xcb_generic_error_t* error = xcb_request_check(m_connection, cookie)) {
            ok = false;
            std::free(error);
        }
    }
    if (!ok) {
        Ungrab(grab);
    }
    return ok;
}

// Ungrabbing releases only this client's grabs, so a combination another program holds stays its own.
void X11GlobalShortcuts::Ungrab(const Grab& grab)
{
    for (const xcb_keycode_t code : grab.keycodes) {
        for (const std::uint16_t variant : LockVariants()) {
            xcb_ungrab_key(m_connection, code, m_root, static_cast<std::uint16_t>(grab.modifiers | variant));
        }
    }
}

void X11GlobalShortcuts::RegisterAll(const std::vector<ShortcutBinding>& bindings)
{
    UnregisterAll();
    std::vector<ShortcutStatus> status(bindings.size(), ShortcutStatus{ShortcutState::Unavailable, {}});
    for (std::size_t i = 0; i < bindings.size(); ++i) {
        const xcb_keysym_t sym = KeySym(bindings[i].key);
        if (sym == 0 || m_symbols == nullptr || EarlierDuplicate(bindings, i) >= 0) {
            continue;
        }
        Grab grab{bindings[i].id, X11Modifiers(bindings[i].modifiers), {}};
        if (xcb_keycode_t* codes = xcb_key_symbols_get_keycode(m_symbols, sym)) {
            for (const xcb_keycode_t* code = codes; *code != XCB_NO_SYMBOL; ++code) {
                grab.keycodes.push_back(*code);
            }
            std::free(codes);
        }
        if (GrabAll(grab)) {
            status[i].state = ShortcutState::Active;
            m_grabs.push_back(std::move(grab));
        }
    }
    xcb_flush(m_connection);
    SetStatuses(std::move(status));
}

void X11GlobalShortcuts::UnregisterAll()
{
    for (const Grab& grab : m_grabs) {
        Ungrab(grab);
    }
    m_grabs.clear();
    xcb_flush(m_connection);
    SetStatuses({});
}

bool X11GlobalShortcuts::HandleEvent(const xcb_generic_event_t* event)
{
    const auto type = event->response_type & 0x7f;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) {
        return false;
    }
    const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
    if (key->root != m_root) {
        return false;
    }
    const auto modifiers = static_cast<std::uint16_t>(key->state & kBindingMask & ~m_lockMask);
    for (const Grab& grab : m_grabs) {
        if (grab.modifiers != modifiers) {
            continue;
        }
        for (const xcb_keycode_t code : grab.keycodes) {
            if (code == key->detail) {
                if (type == XCB_KEY_PRESS) {
                    // Queued: the command may run a modal dialog, which must not start inside X event handling.
                    QMetaObject::invokeMethod(
                        this, [this, id = grab.id] { emit activated(id); }, Qt::QueuedConnection);
                }
                return true;
            }
        }
    }
    return false;
}

} // namespace kelmora::platform
