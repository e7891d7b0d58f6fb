#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>

namespace platform {

/// 256 bytes indexed by keyboard scan code (set 1, extended keys as 0x80 | code); a
/// non-zero byte means the key is down, or went down since the previous snapshot.
using KeyState = std::array<std::uint8_t, 256>;

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

private:
    bool m_failureTold = false;
};

/// Chooses the device for this session: DUDUD_KEYBOARD=x11|evdev forces one; otherwise
/// X11 on an X11 session and evdev on Wayland or the console.
std::unique_ptr<KeyboardDevice> createKeyboardDevice();

} // namespace platform
