#pragma once

#include "platform/keyboard.h"

#include <QByteArray>
#include <QElapsedTimer>

class QSocketNotifier;
struct _XDisplay;

namespace platform {

/// The X server's keyboard, read on a connection of its own: XInput 2 raw key events on the
/// root window (delivered whichever window has the focus and whatever grabs exist, taking
/// nothing from other programs) for the presses between snapshots, XQueryKeymap for the
/// keys down now.
///
/// A lost connection never ends the process inside Xlib: it is reported through failed()
/// and by readState() returning false.
class X11Keyboard : public KeyboardDevice
{
    Q_OBJECT
public:
    /// @p displayName as for XOpenDisplay; empty means $DISPLAY.
    explicit X11Keyboard(const QByteArray &displayName = {}, QObject *parent = nullptr);
    ~X11Keyboard() override;

    bool acquire(QString *error) override;
    bool readState(KeyState &state, QString *error) override;
    QString name() const override { return QStringLiteral("X11"); }

private:
    QString lostMessage() const;
    void onReadable();
    /// Handles every event already received, emitting keyPressed() for new presses if
    /// @p signalPresses. Returns false once the connection is gone.
    bool drainEvents(bool signalPresses);
    bool peerClosed() const;
    void lose();
    static void onIOErrorExit(_XDisplay *dpy, void *self);

    QByteArray m_displayName;
    _XDisplay *m_dpy = nullptr;
    int m_xiOpcode = 0;
    QSocketNotifier *m_notifier = nullptr;
    PressTracker m_tracker;
    bool m_lost = false;
    QElapsedTimer m_sinceQuery;
};

} // namespace platform
