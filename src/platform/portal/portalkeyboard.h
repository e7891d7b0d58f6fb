#pragma once

#include "platform/keyboard.h"
#include "platform/portal/portalshortcuts.h"

#include <QDBusConnection>
#include <QHash>
#include <QVariantMap>
#include <functional>

class QDBusMessage;
class QDBusPendingCallWatcher;
class QDBusServiceWatcher;

namespace platform {

/// The hotkeys through the desktop's global-shortcuts portal (org.freedesktop.portal.
/// GlobalShortcuts), for Wayland sessions, where no program sees the keys another one gets.
/// It asks for F7 and for Ctrl+Shift+key of each hotkey the entries use, never for more;
/// each activation the desktop reports is one press of those keys for the hotkey monitor.
///
/// The portal binds the shortcuts of a session once: a new set of hotkeys closes the
/// session and opens another under the same session token, under which the desktop keeps
/// the user's choices. All answers are asynchronous. No answer stops the keyboard: a refusal
/// or a grant of nothing is told once through notice(), with what the user can do, and the
/// session binds again when the hotkeys change or the portal starts again; a ShortcutsChanged
/// for the session (the user gave keys in the desktop's settings) is what is bound from then. There
/// is no switch to evdev then: a user who can read the keyboards and prefers them starts the
/// program with DUDUD_KEYBOARD=evdev.
class PortalKeyboard : public KeyboardDevice
{
    Q_OBJECT
public:
    /// The application ID the portal knows the program by: its desktop file's name.
    static constexpr const char *appId = "org.dududadadadiz.DududAdadadiz";
    /// The session_handle_token: the same in every run.
    static constexpr const char *sessionToken = "dudud_adadadiz";

    explicit PortalKeyboard(const QDBusConnection &bus = QDBusConnection::sessionBus(),
                            QObject *parent = nullptr);
    ~PortalKeyboard() override;

    /// Registers the application ID where the portal has the host registry, then asks
    /// whether the portal offers global shortcuts. Waits a few seconds at most (a portal
    /// started by the bus). On false @p why (if given) says what is missing.
    bool probe(QString *why = nullptr);

    bool acquire(QString *error) override;
    bool readState(KeyState &state, QString *error) override;
    QString name() const override { return QStringLiteral("portal"); }
    void setHotkeys(const QList<HotkeyUse> &uses) override;
    QString report() const override;

    /// The shortcuts asked for in the session open now (empty while none is bound).
    QList<portal::Shortcut> boundShortcuts() const { return m_bound; }
    /// Shortcut id -> the trigger the desktop granted (its trigger_description).
    QHash<QString, QString> grantedTriggers() const { return m_granted; }

private slots:
    void onResponse(const QDBusMessage &message);
    void onActivated(const QDBusMessage &message);
    void onDeactivated(const QDBusMessage &message);
    void onShortcutsChanged(const QDBusMessage &message);

private:
    using Answer = std::function<void(uint response, const QVariantMap &results)>;

    void syncSoon();
    void sync();
    void createSession();
    void bindShortcuts(const QList<portal::Shortcut> &asked);
    void closeSession();
    /// Calls @p method of the portal's GlobalShortcuts with handle_token added to the options
    /// (the last argument); @p answer gets the request's Response.
    void request(const QString &method, QList<QVariant> args, Answer answer);
    void requestFailed(const QString &what, const QString &why);
    void takeGranted(const QList<QPair<QString, QVariantMap>> &list);
    /// Tells once, through notice(), that the desktop bound nothing, and what to do.
    void tellNothingBound(const QString &why);
    /// Says on standard error which of the asked keys the desktop did not bind (once for
    /// each set of them).
    void tellUnbound();
    bool fromOurSession(const QDBusMessage &message) const;
    const portal::Shortcut *shortcut(const QString &id) const;
    void portalGone();
    void registerAgain();

    QDBusConnection m_bus;
    QDBusServiceWatcher *m_watcher = nullptr;
    bool m_probed = false;
    bool m_offered = false;
    QString m_probeWhy;
    bool m_acquired = false;
    bool m_syncQueued = false;
    bool m_busy = false; ///< a session call is under way: sync() again when it ends
    int m_requests = 0;
    QHash<QString, Answer> m_pending; ///< request path -> its answer
    QString m_session;                ///< the open session's handle
    QList<portal::Shortcut> m_wanted;
    QList<portal::Shortcut> m_tried; ///< the set the open (or failed) session asked for
    bool m_triedValid = false;
    QList<portal::Shortcut> m_bound;
    QHash<QString, QString> m_granted;
    bool m_answered = false; ///< the desktop answered the binding of this session
    bool m_toldNothing = false;
    QStringList m_toldUnbound;
    QString m_unregistered; ///< why the portal did not register the application ID
    portal::ShortcutPresses m_presses;
};

} // namespace platform
