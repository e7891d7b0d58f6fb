#include "platform/evdev/evdevkeyboard.h"

#include <QDir>
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <linux/input.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace platform {

namespace {
constexpr int keyLongs =
    (KEY_MAX + 1 + int(sizeof(unsigned long) * 8) - 1) / int(sizeof(unsigned long) * 8);
// udev sets a new node's permissions a moment after it appears.
constexpr int retryAttempts = 20;
constexpr int retryIntervalMs = 250;

bool isEventNode(const QString &name)
{
    return name.startsWith(QLatin1String("event"));
}
} // namespace

struct EvdevKeyboard::Node
{
    QString path;
    int fd = -1;
    QSocketNotifier *notifier = nullptr;
    EvdevStream stream;
};

EvdevKeyboard::EvdevKeyboard(const QString &dir, QObject *parent)
    : KeyboardDevice(parent), m_dir(dir)
{
    m_retryTimer.setInterval(retryIntervalMs);
    connect(&m_retryTimer, &QTimer::timeout, this, &EvdevKeyboard::retryPending);
}

EvdevKeyboard::~EvdevKeyboard()
{
    for (auto &n : m_nodes) {
        delete n->notifier;
        ::close(n->fd);
    }
    delete m_dirNotifier;
    if (m_inotify >= 0)
        ::close(m_inotify);
}

QStringList EvdevKeyboard::openNodes() const
{
    QStringList out;
    for (const auto &n : m_nodes)
        out << n->path;
    return out;
}

bool EvdevKeyboard::acquire(QString *error)
{
    if (!m_nodes.empty())
        return true;

    // Watch before listing, so that nothing plugged in between is missed.
    if (m_inotify < 0) {
        m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_inotify >= 0 && ::inotify_add_watch(m_inotify, QFile::encodeName(m_dir).constData(),
                                                  IN_CREATE | IN_ATTRIB | IN_MOVED_TO) < 0) {
            ::close(m_inotify);
            m_inotify = -1;
        }
        if (m_inotify >= 0) {
            m_dirNotifier = new QSocketNotifier(m_inotify, QSocketNotifier::Read, this);
            connect(m_dirNotifier, &QSocketNotifier::activated, this, &EvdevKeyboard::onDirChanged);
        }
    }

    QStringList denied;
    const QStringList names =
        QDir(m_dir).entryList({QStringLiteral("event*")}, QDir::System | QDir::Files, QDir::Name);
    for (const QString &name : names) {
        const QString path = m_dir + QLatin1Char('/') + name;
        if (tryOpen(path) == OpenResult::Denied)
            denied << path;
    }
    if (m_nodes.empty()) {
        if (error) {
            *error = denied.isEmpty()
                         ? evdevNoKeyboardMessage(m_dir)
                         : evdevPermissionMessage(QString::fromLocal8Bit(qgetenv("USER")), denied);
        }
        return false;
    }

    // Keys already down at start-up are not presses.
    KeyState down{}, unused;
    for (auto &n : m_nodes)
        readKeysDown(n.get(), down);
    m_tracker.snapshot(down, unused);
    return true;
}

EvdevKeyboard::OpenResult EvdevKeyboard::tryOpen(const QString &path)
{
    for (const auto &n : m_nodes) {
        if (n->path == path)
            return OpenResult::Opened;
    }
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == EACCES || errno == EPERM)
            return OpenResult::Denied;
        return OpenResult::Gone;
    }
    unsigned long bits[keyLongs] = {};
    if (::ioctl(fd, EVIOCGBIT(EV_KEY, sizeof bits), bits) < 0 || !hasLetterKeys(bits, keyLongs)) {
        ::close(fd);
        return OpenResult::NotKeyboard;
    }
    auto node = std::make_unique<Node>();
    node->path = path;
    node->fd = fd;
    node->notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    Node *raw = node.get();
    connect(node->notifier, &QSocketNotifier::activated, this, [this, raw] { onReadable(raw); });
    m_nodes.push_back(std::move(node));
    return OpenResult::Opened;
}

bool EvdevKeyboard::drain(Node *node, bool *newPress)
{
    input_event events[64];
    for (;;) {
        const ssize_t n = ::read(node->fd, events, sizeof events);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
        if (n == 0)
            return false;
        const int count = int(n / ssize_t(sizeof(input_event)));
        for (int i = 0; i < count; ++i) {
            const int r = node->stream.feed(events[i], m_tracker);
            if (r & EvdevStream::NewPress)
                *newPress = true;
            if (r & EvdevStream::Resync) {
                // The tracker holds the keys of every keyboard: a key held on another one is
                // still down, and pressing it here too is no new press.
                KeyState down{};
                if (!readKeysDown(node, down))
                    return false;
                for (auto &other : m_nodes) {
                    if (other.get() != node)
                        readKeysDown(other.get(), down);
                }
                if (EvdevStream::resyncTracker(down, m_tracker))
                    *newPress = true;
            }
        }
    }
}

bool EvdevKeyboard::readKeysDown(Node *node, KeyState &down)
{
    unsigned long bits[keyLongs] = {};
    if (::ioctl(node->fd, EVIOCGKEY(sizeof bits), bits) < 0)
        return false;
    addKeysDown(bits, keyLongs, down);
    return true;
}

void EvdevKeyboard::onReadable(Node *node)
{
    bool newPress = false;
    if (!drain(node, &newPress)) {
        removeNode(node);
        return;
    }
    if (newPress)
        emit keyPressed();
}

void EvdevKeyboard::removeNode(Node *node)
{
    for (auto it = m_nodes.begin(); it != m_nodes.end(); ++it) {
        if (it->get() != node)
            continue;
        // The notifier may be the sender of the signal being handled now.
        (*it)->notifier->setEnabled(false);
        (*it)->notifier->deleteLater();
        ::close((*it)->fd);
        const QString path = (*it)->path;
        m_nodes.erase(it);
        // A keyboard plugged in again may already have its node under the same name, and
        // its creation was ignored while the old one was still open here.
        if (QFile::exists(path)) {
            m_pending.insert(path, retryAttempts);
            m_retryTimer.start();
        }
        break;
    }
    if (m_nodes.empty() && m_pending.isEmpty())
        reportGone();
}

void EvdevKeyboard::reportGone()
{
    if (m_failed)
        return;
    m_failed = true;
    tellFailureOnce(goneMessage());
}

QString EvdevKeyboard::goneMessage() const
{
    return QStringLiteral("The last keyboard in %1 was unplugged: the hotkeys no longer work.")
        .arg(m_dir);
}

void EvdevKeyboard::onDirChanged()
{
    alignas(inotify_event) char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_inotify, buf, sizeof buf);
        if (n <= 0)
            break;
        for (ssize_t off = 0; off < n;) {
            const auto *ev = reinterpret_cast<const inotify_event *>(buf + off);
            off += ssize_t(sizeof(inotify_event)) + ev->len;
            if (ev->len == 0)
                continue;
            const QString name = QFile::decodeName(ev->name);
            if (!isEventNode(name))
                continue;
            const QString path = m_dir + QLatin1Char('/') + name;
            switch (tryOpen(path)) {
            case OpenResult::Opened:
            case OpenResult::NotKeyboard:
                m_pending.remove(path);
                break;
            case OpenResult::Denied:
            case OpenResult::Gone:
                if (!m_pending.contains(path))
                    m_pending.insert(path, retryAttempts);
                break;
            }
        }
    }
    if (!m_pending.isEmpty() && !m_retryTimer.isActive())
        m_retryTimer.start();
}

void EvdevKeyboard::retryPending()
{
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        const OpenResult r = tryOpen(it.key());
        if (r == OpenResult::Opened || r == OpenResult::NotKeyboard || --it.value() <= 0)
            it = m_pending.erase(it);
        else
            ++it;
    }
    if (m_pending.isEmpty()) {
        m_retryTimer.stop();
        if (m_nodes.empty())
            reportGone();
    }
}

bool EvdevKeyboard::readState(KeyState &state, QString *error)
{
    bool newPress = false;
    KeyState down{};
    // Copy the list: removing a node while walking it would invalidate the walk.
    std::vector<Node *> nodes;
    for (auto &n : m_nodes)
        nodes.push_back(n.get());
    for (Node *n : nodes) {
        if (!drain(n, &newPress) || !readKeysDown(n, down))
            removeNode(n);
    }
    // The last keyboard gone with its node back under the same name: no keys until the
    // retries settle it one way or the other.
    if (m_nodes.empty() && !m_pending.isEmpty() && !m_failed) {
        state.fill(0);
        return true;
    }
    if (m_nodes.empty()) {
        m_failed = true;
        failureTold();
        if (error)
            *error = goneMessage();
        return false;
    }
    m_tracker.snapshot(down, state);
    return true;
}

} // namespace platform
