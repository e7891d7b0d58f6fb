#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

/// A private channel between copies of the program run by the same user: one line asked,
/// one line answered, per connection.
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

    /// Listens as @p name; a socket left by a copy that died (nobody answers on it) is taken
    /// over. Returns false, with @p error set, when it cannot listen.
    bool listen(const QString &name, QString *error);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

/// Sends @p line to the copy listening as @p name and waits at most @p ms for its answer.
/// Returns false when no copy listens; true when one took the line, with its answer line
/// in @p answer (empty when it gave none in time).
bool askLocalChannel(const QString &name, const QByteArray &line, int ms,
                     QByteArray *answer = nullptr);

} // namespace platform
