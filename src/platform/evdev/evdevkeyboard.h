#pragma once

#include "platform/evdev/evdevkeys.h"
#include "platform/keyboard.h"

#include <QHash>
#include <QTimer>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace platform {

/// Every keyboard under /dev/input, read through the kernel's event devices: opened
/// read-only, never grabbed, so every key still reaches the focused program. Keyboards
/// plugged in later are picked up; losing one while another remains is no failure.
class EvdevKeyboard : public KeyboardDevice
{
    Q_OBJECT
public:
    /// @p dir is the device folder (another one only in tests).
    explicit EvdevKeyboard(const QString &dir = QStringLiteral("/dev/input"),
                           QObject *parent = nullptr);
    ~EvdevKeyboard() override;

    bool acquire(QString *error) override;
    bool readState(KeyState &state, QString *error) override;
    QString name() const override { return QStringLiteral("evdev"); }

    /// The device nodes open now.
    QStringList openNodes() const;

private:
    struct Node;
    enum class OpenResult
    {
        Opened,
        NotKeyboard,
        Denied,
        Gone
    };

    OpenResult tryOpen(const QString &path);
    void onReadable(Node *node);
    /// Reads what the node has buffered. Returns false when the node is gone.
    bool drain(Node *node, bool *newPress);
    bool readKeysDown(Node *node, KeyState &down);
    void removeNode(Node *node);
    void onDirChanged();
    void retryPending();
    QString goneMessage() const;
    void reportGone();

    QString m_dir;
    std::vector<std::unique_ptr<Node>> m_nodes;
    PressTracker m_tracker;
    int m_inotify = -1;
    QSocketNotifier *m_dirNotifier = nullptr;
    QHash<QString, int> m_pending; ///< node -> attempts left while udev sets its permissions
    QTimer m_retryTimer;
    bool m_failed = false;
};

} // namespace platform
