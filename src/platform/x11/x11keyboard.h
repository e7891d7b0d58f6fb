#pragma once

#include "platform/keyboard.h"

#include <QByteArray>
#include <QElapsedTimer>

class QSocketNotifier;
struct xcb_connection_t;

namespace platform {

/// The X server's keyboard, read on a connection of its own: XInput 2 raw key events on the
/// root window (delivered whichever window has the focus and whatever grabs exist, taking
/// nothing from other programs) for the presses between snapshots, QueryKeymap for the
/// keys down now. It speaks the protocol through XCB, which the toolkit has loaded already,
/// rather than Xlib and its XInput library.
///
/// A lost connection never ends the process: it is reported through failed() and by
/// readState() returning false.
class X11Keyboard : public KeyboardDevice
{
    Q_OBJECT
public:
    /// @p displayName as for xcb_connect; empty means $DISPLAY.
    explicit X11Keyboard(const QByteArray &displayName = {}, QObject *parent = nullptr);
    ~X11Keyboard() override;

    bool acquire(QString *error) override;
    bool readState(KeyState &state, QString *error) override;
    QString name() const override { return QStringLiteral("X11"); }
    /// Tries to grab the key with Ctrl+Shift, alone and with Caps Lock and Num Lock: the
    /// server refuses a grab that another client holds. A grab that succeeds is released in
    /// the same exchange.
    bool sharedShortcut(const QString &key) override;

private:
    QString lostMessage() const;
    void onReadable();
    /// Handles every event received, reading the socket too unless @p queuedOnly, and
    /// returns true for a new press; false in @p alive once the connection is gone.
    bool drainEvents(bool queuedOnly, bool *alive);
    void lose();

    QByteArray m_displayName;
    xcb_connection_t *m_conn = nullptr;
    int m_xiOpcode = 0;
    unsigned m_root = 0;
    QSocketNotifier *m_notifier = nullptr;
    PressTracker m_tracker;
    bool m_lost = false;
    QElapsedTimer m_sinceQuery;
};

} // namespace platform
