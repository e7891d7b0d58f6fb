#include "platform/linux/linuxshell.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace platform {

namespace {

/// Reaps the programs started here as soon as each ends, so none is left as a zombie. Each
/// child gets a pidfd watched by the event loop; where pidfds are not available, children
/// still running are reaped at the next start.
class Reaper : public QObject
{
public:
    static Reaper &instance()
    {
        static Reaper *r = new Reaper(QCoreApplication::instance());
        return *r;
    }

    void watch(pid_t pid, const std::function<void(int)> &onExit)
    {
        reapFinished();
        const int fd = int(::syscall(SYS_pidfd_open, pid, 0));
        if (fd < 0) {
            m_unwatched.push_back(pid);
            return;
        }
        auto *n = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(n, &QSocketNotifier::activated, this, [n, fd, pid, onExit] {
            int status;
            if (::waitpid(pid, &status, WNOHANG) != 0) {
                if (onExit)
                    onExit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
                // Off the event loop before the descriptor goes: its number may be reused at
                // once, and a notifier still registered would then watch someone else's.
                n->setEnabled(false);
                n->deleteLater();
                ::close(fd);
            }
        });
    }

private:
    using QObject::QObject;

    void reapFinished()
    {
        std::erase_if(m_unwatched, [](pid_t p) {
            int status;
            return ::waitpid(p, &status, WNOHANG) != 0;
        });
    }

    std::vector<pid_t> m_unwatched;
};

} // namespace

bool spawnDetached(const QStringList &argv, const QString &workDir, int *error,
                   const std::function<void(int)> &onExit)
{
    int dummy = 0;
    int &err = error ? *error : dummy;
    err = 0;
    if (argv.isEmpty() || argv.first().isEmpty()) {
        err = EINVAL;
        return false;
    }

    std::vector<QByteArray> bytes;
    bytes.reserve(argv.size());
    for (const QString &a : argv)
        bytes.push_back(QFile::encodeName(a));
    std::vector<char *> cargv;
    cargv.reserve(bytes.size() + 1);
    for (QByteArray &b : bytes)
        cargv.push_back(b.data());
    cargv.push_back(nullptr);
    QByteArray dir = QFile::encodeName(workDir);
    // A folder that vanished since it was chosen is no reason not to start the program.
    if (dir.isEmpty() || !QFileInfo(workDir).isDir())
        dir = "/";

    // posix_spawn starts the program without copying the launcher's memory (a fork would
    // copy its page tables first, which costs milliseconds on every hotkey), and reports a
    // failed exec as its result. The program gets a session of its own, stdin from
    // /dev/null, default signal handling, an empty signal mask, and none of the launcher's
    // descriptors beyond 0-2 (keyboard devices, sockets and pipes are none of its business).
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawn_file_actions_addchdir_np(&actions, dir.constData());

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, cargv[0], &actions, &attr, cargv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        err = rc;
        return false;
    }
    Reaper::instance().watch(pid, onExit);
    return true;
}

} // namespace platform
