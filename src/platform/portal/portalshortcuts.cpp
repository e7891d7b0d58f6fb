#include "platform/portal/portalshortcuts.h"

#include <QSet>
#include <linux/input-event-codes.h>

namespace platform::portal {

namespace {
struct KeyName
{
    const char *symbol;
    int linuxKey;
};

// The keys the hotkey monitor watches, in its order.
constexpr KeyName hotkeyKeys[] = {
    {"a", KEY_A},     {"b", KEY_B},     {"c", KEY_C},     {"d", KEY_D},   {"e", KEY_E},
    {"f", KEY_F},     {"g", KEY_G},     {"h", KEY_H},     {"i", KEY_I},   {"j", KEY_J},
    {"k", KEY_K},     {"l", KEY_L},     {"m", KEY_M},     {"n", KEY_N},   {"o", KEY_O},
    {"p", KEY_P},     {"q", KEY_Q},     {"r", KEY_R},     {"s", KEY_S},   {"t", KEY_T},
    {"u", KEY_U},     {"v", KEY_V},     {"w", KEY_W},     {"x", KEY_X},   {"y", KEY_Y},
    {"z", KEY_Z},     {"1", KEY_1},     {"2", KEY_2},     {"3", KEY_3},   {"4", KEY_4},
    {"5", KEY_5},     {"6", KEY_6},     {"7", KEY_7},     {"8", KEY_8},   {"9", KEY_9},
    {"0", KEY_0},     {"F1", KEY_F1},   {"F2", KEY_F2},   {"F3", KEY_F3}, {"F4", KEY_F4},
    {"F5", KEY_F5},   {"F6", KEY_F6},   {"F7", KEY_F7},   {"F8", KEY_F8}, {"F9", KEY_F9},
    {"F10", KEY_F10}, {"F11", KEY_F11}, {"F12", KEY_F12},
};

int indexOf(const QString &key)
{
    const QString k = key.length() == 1 ? key.toLower() : key.toUpper();
    for (int i = 0; i < int(std::size(hotkeyKeys)); ++i) {
        if (k == QLatin1String(hotkeyKeys[i].symbol))
            return i;
    }
    return -1;
}
} // namespace

QString keySymbolOf(const QString &key)
{
    const int i = indexOf(key);
    return i < 0 ? QString() : QString::fromLatin1(hotkeyKeys[i].symbol);
}

QString triggerOf(const QString &key)
{
    const QString sym = keySymbolOf(key);
    return sym.isEmpty() ? QString() : QStringLiteral("CTRL+SHIFT+") + sym;
}

QString keysOf(const QString &trigger)
{
    QStringList parts = trigger.split(QLatin1Char('+'));
    for (QString &p : parts) {
        if (p.size() > 1 && !(p.startsWith(QLatin1Char('F')) && p.at(1).isDigit()))
            p = p.at(0).toUpper() + p.mid(1).toLower();
        else
            p = p.toUpper();
    }
    return parts.join(QLatin1Char('+'));
}

QList<Shortcut> shortcutsFor(const QList<HotkeyUse> &uses)
{
    QList<Shortcut> out;
    out.append({QStringLiteral("prompt"),
                QStringLiteral("Open the keyword prompt"),
                QStringLiteral("F7"),
                {scanCodeFromLinuxKey(KEY_F7)}});

    constexpr int keys = int(std::size(hotkeyKeys));
    QStringList entries[keys];
    for (const HotkeyUse &u : uses) {
        const int i = indexOf(u.key);
        if (i >= 0 && !entries[i].contains(u.entry))
            entries[i].append(u.entry);
    }
    for (int i = 0; i < keys; ++i) {
        if (entries[i].isEmpty())
            continue;
        const QString sym = QString::fromLatin1(hotkeyKeys[i].symbol);
        out.append({QStringLiteral("hotkey-") + sym,
                    QStringLiteral("Open ") + entries[i].join(QStringLiteral(", ")),
                    QStringLiteral("CTRL+SHIFT+") + sym,
                    {scanCodeFromLinuxKey(KEY_LEFTCTRL), scanCodeFromLinuxKey(KEY_LEFTSHIFT),
                     scanCodeFromLinuxKey(hotkeyKeys[i].linuxKey)}});
    }
    return out;
}

QString requestPath(const QString &uniqueName, const QString &token)
{
    QString sender = uniqueName;
    if (sender.startsWith(QLatin1Char(':')))
        sender.remove(0, 1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("/org/freedesktop/portal/desktop/request/") + sender + QLatin1Char('/') +
           token;
}

bool ShortcutPresses::activated(const QString &id, const QVector<int> &scanCodes)
{
    // Pressed since the last snapshot (held or already released): the snapshot would show
    // the two as one.
    if (m_unseen.contains(id)) {
        m_queued.append({id, scanCodes});
        return false;
    }
    press(id, scanCodes);
    return true;
}

void ShortcutPresses::press(const QString &id, const QVector<int> &scanCodes)
{
    for (int sc : scanCodes) {
        // Up first: a key that the previous snapshot showed down goes down again.
        m_tracker.release(sc);
        m_tracker.press(sc);
    }
    m_held.insert(id, scanCodes);
    m_unseen.insert(id);
}

void ShortcutPresses::deactivated(const QString &id)
{
    // The press stays in the tracker for the next snapshot; only the keys go up.
    const QVector<int> keys = m_held.take(id);
    for (int sc : keys) {
        bool stillHeld = false;
        for (const QVector<int> &other : std::as_const(m_held))
            stillHeld = stillHeld || other.contains(sc);
        if (!stillHeld)
            m_tracker.release(sc);
    }
}

bool ShortcutPresses::snapshot(KeyState &out)
{
    KeyState down{};
    for (const QVector<int> &keys : std::as_const(m_held)) {
        for (int sc : keys)
            down[sc & 0xFF] = 1;
    }
    m_tracker.snapshot(down, out);
    // Seen once: up at the next snapshot, Deactivated or not.
    m_held.clear();
    m_unseen.clear();
    // One queued activation per shortcut goes down for the next snapshot.
    QSet<QString> pressed;
    for (auto it = m_queued.begin(); it != m_queued.end();) {
        if (pressed.contains(it->first)) {
            ++it;
            continue;
        }
        pressed.insert(it->first);
        press(it->first, it->second);
        it = m_queued.erase(it);
    }
    return !pressed.isEmpty();
}

void ShortcutPresses::reset()
{
    m_tracker.reset();
    m_held.clear();
    m_unseen.clear();
    m_queued.clear();
}

} // namespace platform::portal
