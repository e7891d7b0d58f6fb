#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

/// A private channel between copies of the program run by the same user: one line asked,
/// one line answered, per connection.
///
/// Its socket and lock file live in a folder only the user can enter: the runtime folder
/// when it is the user's own with mode 0700, else a folder of the user's own in the
/// temporary folder (made 0700; one that is a symbolic link or another user's is passed
/// over for the next of a few fixed names). The copy that holds the lock is the running
/// one, whether or not it answers.
namespace platform {

/// Listens on a local socket that only the user's own processes may use.
class LocalChannelServer : public QObject
{
    Q_OBJECT
public:
    /// @p answer gets each line (without its newline) and returns the answer line, or an
    /// empty text to close without one.
    explicit LocalChannelServer(std::function<QByteArray(const QByteArray &)> answer,
                                QObject *parent = nullptr);
    ~LocalChannelServer() override;

    enum Listen
    {
        Listening,   ///< this copy holds the lock and listens
        HeldByOther, ///< another process holds the lock: it is the running copy
        Failed,      ///< no usable folder or socket; @p error says why
    };
    /// Takes the lock of @p name and listens as @p name; a socket left by a copy that died
    /// is replaced. At most a few connections are served at once, the oldest giving way to
    /// a new one, and each is closed after a second without a complete line.
    Listen listen(const QString &name, QString *error);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

/// Sends @p line to the copy that holds the lock of @p name and waits for its answer, at
/// most @p ms in all, connecting included. Returns true when it answered (with its answer
/// line in @p answer, empty when it closed without one); false when no copy holds the lock
/// or the one that does gave no answer in time.
bool askLocalChannel(const QString &name, const QByteArray &line, int ms,
                     QByteArray *answer = nullptr);

} // namespace platform
