#pragma once

#include "platform/keyboard.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QVector>

namespace platform::portal {

/// One shortcut the program asks the desktop for, and the keys it stands for.
struct Shortcut
{
    QString id;             ///< "prompt", or "hotkey-" + the key ("hotkey-n", "hotkey-F5")
    QString description;    ///< what it does, naming the entries
    QString trigger;        ///< the preferred trigger: "F7", "CTRL+SHIFT+n"
    QVector<int> scanCodes; ///< the keys it presses for the hotkey monitor
    bool operator==(const Shortcut &) const = default;
};

/// The key of a hotkey as the desktop's trigger names it (an xkbcommon key symbol of the
/// base layer): letters in lower case, digits, "F1".."F12". Empty for a key the hotkey
/// monitor does not watch; any case is taken ("N", "f5").
QString keySymbolOf(const QString &key);

/// The preferred trigger of the hotkey @p key: "CTRL+SHIFT+n", "CTRL+SHIFT+1",
/// "CTRL+SHIFT+F5"; empty for a key that is no hotkey.
QString triggerOf(const QString &key);

/// A trigger as the user reads it: "CTRL+SHIFT+n" gives "Ctrl+Shift+N", "F7" stays.
QString keysOf(const QString &trigger);

/// The shortcuts for the hotkeys @p uses: F7 for the prompt first, then one per hotkey that
/// an entry uses (keys that differ only in case are one), in the order a..z, 1..9, 0,
/// F1..F12, each describing the entries it opens. Keys that are no hotkey are left out.
QList<Shortcut> shortcutsFor(const QList<HotkeyUse> &uses);

/// The object path of the request a portal call with handle_token @p token makes for the
/// caller with the unique bus name @p uniqueName (":1.42"), known before the call.
QString requestPath(const QString &uniqueName, const QString &token);

/// Turns the desktop's activations into presses for the hotkey monitor. Every activation
/// shows its keys in exactly one snapshot, as a press: whether the desktop tells of the
/// release (Deactivated) or not, and however long the keys are held, the monitor fires
/// once per activation. A second activation before a snapshot has seen the first waits for
/// the next snapshot, so that it fires too.
class ShortcutPresses
{
public:
    /// Returns true when the keys went down now (false: queued behind an earlier press).
    bool activated(const QString &id, const QVector<int> &scanCodes);
    void deactivated(const QString &id);
    /// Fills @p out. Returns true when a queued activation went down for the next snapshot.
    bool snapshot(KeyState &out);
    void reset();

private:
    void press(const QString &id, const QVector<int> &scanCodes);

    PressTracker m_tracker;
    QHash<QString, QVector<int>> m_held; ///< down, not yet seen by a snapshot
    QSet<QString> m_unseen;              ///< pressed since the last snapshot
    QList<QPair<QString, QVector<int>>> m_queued;
};

} // namespace platform::portal
