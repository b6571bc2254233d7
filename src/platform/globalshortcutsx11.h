#pragma once

#include "platform/globalshortcuts.h"

#include <cstdint>
#include <memory>
#include <vector>
#include <xcb/xcb.h>

struct _XCBKeySymbols;

namespace kelmora::platform {

class X11EventFilter;

// Shortcuts as passive key grabs on the root window. Each combination is grabbed once for every
// combination of the lock keys (Caps Lock, Num Lock, Scroll Lock), since X compares the whole modifier
// state: a grab of Alt+Shift+T alone never fires while Num Lock is on.
//
// The key events arrive on the connection the grabs were made on; HandleEvent takes them. On the program's
// own connection (Create) a native event filter hands them over.
class X11GlobalShortcuts final : public GlobalShortcuts
{
    Q_OBJECT

public:
    // Uses a connection it does not own; `root` is the window the grabs are made on.
    X11GlobalShortcuts(xcb_connection_t* connection, xcb_window_t root);
    ~X11GlobalShortcuts() override;

    // On Qt's own X connection, with a native event filter installed; nullptr when the program does not
    // run on X11.
    static std::unique_ptr<X11GlobalShortcuts> Create();

    QString BackendName() const override { return QStringLiteral("X11 key grabs"); }
    void RegisterAll(const std::vector<ShortcutBinding>& bindings) override;
    void UnregisterAll() override;

    // True when the event is a press or release of a grabbed combination (a press emits `activated`); the
    // event is then ours and goes no further.
    bool HandleEvent(const xcb_generic_event_t* event);

    // The lock-key modifier masks found in the server's modifier map, for tests.
    std::uint16_t LockMask() const { return m_lockMask; }

private:
    struct Grab
    {
        int id = 0;
        std::uint16_t modifiers = 0;
        std::vector<xcb_keycode_t> keycodes;
    };

    void ReadLockMasks();
    std::vector<std::uint16_t> LockVariants() const;
    // Grabs every keycode in every lock variant; on any refusal releases what it took and returns false.
    bool GrabAll(const Grab& grab);
    void Ungrab(const Grab& grab);

    xcb_connection_t* m_connection;
    xcb_window_t m_root;
    _XCBKeySymbols* m_symbols = nullptr;
    std::uint16_t m_numLockMask = 0;
    std::uint16_t m_scrollLockMask = 0;
    std::uint16_t m_lockMask = 0;
    std::vector<Grab> m_grabs;
    std::unique_ptr<X11EventFilter> m_filter;
};

} // namespace kelmora::platform
