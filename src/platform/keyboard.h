#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <array>
#include <bitset>
#include <cstdint>
#include <functional>

namespace platform {

/// 256 bytes indexed by keyboard scan code (set 1, extended keys as 0x80 | code); a
/// non-zero byte means the key is down, or went down since the previous snapshot.
using KeyState = std::array<std::uint8_t, 256>;

/// Bits of a KeyState byte as the X11 and evdev devices fill it. Any non-zero byte counts as
/// down; the low bit lets the monitor tell a second press apart from a key held since the
/// previous snapshot (released and pressed again in between).
constexpr std::uint8_t keyDownNow = 0x80;
constexpr std::uint8_t keyPressedSince = 0x01;

/// The keyboard scan code (set 1, extended keys as 0x80 | code) of a Linux input key code,
/// or -1 for a key that has none. The codes 1 to 88 are the set-1 codes themselves.
int scanCodeFromLinuxKey(int code);

/// Keys down now, plus every press since the previous snapshot, so that a tap shorter than
/// the polling period is still seen once.
class PressTracker
{
public:
    /// A key went down (by its scan code). Returns true for a new press, false for a key
    /// already known to be down (auto-repeat, a second keyboard holding the same key).
    bool press(int scanCode);
    /// A key went up.
    void release(int scanCode);

    /// Fills @p out from @p downNow (non-zero bytes for the keys down at this moment): down
    /// keys get keyDownNow, keys pressed since the previous snapshot get keyPressedSince.
    /// Then forgets the presses and takes @p downNow as the keys known to be down.
    void snapshot(const KeyState &downNow, KeyState &out);

    /// No key known to be down and none pressed since the previous snapshot.
    bool quiet() const { return m_down.none() && m_pressed.none(); }

    /// Forgets everything (a device that re-reads its whole state after losing events).
    void reset();

private:
    std::bitset<256> m_down;
    std::bitset<256> m_pressed;
};

/// One entry's hotkey: Ctrl + Shift + @p key ("n", "N", "1", "F5" as the entry holds it)
/// opens the entry that @p entry names (its keyword, or its action when it has none).
struct HotkeyUse
{
    QString key;
    QString entry;
    bool operator==(const HotkeyUse &) const = default;
};

/// The whole keyboard, read whichever application has the focus, without taking any key
/// away from other programs.
class KeyboardDevice : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~KeyboardDevice() override = default;

    /// Creates and acquires the device once. On failure returns false and sets @p error to
    /// a message for the user: what failed and what to do about it.
    virtual bool acquire(QString *error) = 0;

    /// Fills @p state with the keys down now OR pressed since the previous call. Returns
    /// false, with @p error set, when the device no longer works.
    virtual bool readState(KeyState &state, QString *error) = 0;

    /// A short name for messages and logs ("X11", "evdev", "scripted").
    virtual QString name() const = 0;

    /// The hotkeys the entries use now, one row per entry (called after every reload of
    /// the entries). A device that sees every key ignores it; one that must ask the desktop
    /// for each key (the global-shortcuts portal) asks for these and F7 only.
    virtual void setHotkeys(const QList<HotkeyUse> &uses) { Q_UNUSED(uses); }

    /// Whether Ctrl+Shift+@p key (a hotkey name: "K", "1", "F5") is also another program's
    /// own shortcut, so that one press reaches both. Asked afresh on each call (a round trip
    /// to the window system at most); nothing is taken from the other program. A device that
    /// cannot tell answers false.
    virtual bool sharedShortcut(const QString &key)
    {
        Q_UNUSED(key);
        return false;
    }

    /// What the device watches, for the user: its name, and for a device that asks the
    /// desktop for keys, the keys the desktop granted. reportChanged() tells of a change.
    virtual QString report() const { return name(); }

protected:
    /// Emits failed(@p why) from the event loop, unless the failure has been told already:
    /// by an earlier call, or by a failing readState() that called failureTold().
    void tellFailureOnce(const QString &why);
    void failureTold() { m_failureTold = true; }

signals:
    /// A key went down: the owner may read a snapshot now instead of at the next tick.
    void keyPressed();
    /// The device stopped working while running (connection lost, keyboard gone).
    void failed(const QString &error);
    /// The device works on but sees none or only some of the keys until the user does what
    /// @p message says (a desktop that bound no shortcut). Told once per cause; the device
    /// takes the keys by itself once the desktop gives them.
    void notice(const QString &message);
    /// report() says something else now.
    void reportChanged();

private:
    bool m_failureTold = false;
};

enum class KeyboardBackend
{
    X11,
    Evdev,
    Portal,  ///< the desktop's global-shortcuts portal
    None,    ///< a Wayland session offering neither the portal nor a readable keyboard
    Unknown, ///< DUDUD_KEYBOARD names no source
};

/// What the choice asks of the running system, only where the session needs it. An empty
/// function answers false.
struct KeyboardProbes
{
    std::function<bool()> portalOffered; ///< the desktop's portal offers global shortcuts
    std::function<bool()> evdevReadable; ///< a keyboard under /dev/input can be read
};

/// The keyboard source for a session described by its environment: @p forced is
/// DUDUD_KEYBOARD ("x11", "evdev" or "portal", any case; anything else is Unknown). Else a
/// Wayland session (XDG_SESSION_TYPE "wayland", or WAYLAND_DISPLAY set without the type "x11")
/// gets the portal where it offers global shortcuts, else evdev where a keyboard can be read,
/// else None: an X connection there only sees keys while an X window has the focus. An X11
/// session (XDG_SESSION_TYPE "x11" or DISPLAY set) gets X11; the console gets evdev.
KeyboardBackend chooseKeyboardBackend(const QByteArray &forced, const QByteArray &sessionType,
                                      const QByteArray &waylandDisplay, const QByteArray &display,
                                      const KeyboardProbes &probes = {});

/// Where the desktop named by @p currentDesktop (XDG_CURRENT_DESKTOP, a colon-separated list
/// such as "ubuntu:GNOME") lets the user give a program's global shortcuts keys, as a phrase
/// for a message; both GNOME's and KDE's places for a desktop that is neither.
QString shortcutSettingsPlace(const QByteArray &currentDesktop);

/// What to tell the user when a Wayland session gives the program no keyboard source:
/// @p why says what was tried and failed; the rest says what the user can do on the desktop
/// named by @p currentDesktop (as XDG_CURRENT_DESKTOP).
QString waylandNoHotkeysMessage(const QString &why, const QByteArray &currentDesktop);
QString waylandNoHotkeysMessage(const QString &why);

} // namespace platform
