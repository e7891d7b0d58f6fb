#include "platform/linux/linuxshell.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace platform {

namespace {

/// Moves @p fd above the standard descriptors, so that setting up 0 in the child can never
/// overwrite it.
int aboveStdio(int fd)
{
    if (fd < 0 || fd > 2)
        return fd;
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    ::close(fd);
    return moved;
}

[[noreturn]] void reportAndExit(int errorFd, int err)
{
    [[maybe_unused]] ssize_t n = ::write(errorFd, &err, sizeof err);
    ::_exit(127);
}

/// Runs in the grandchild, between fork and exec: async-signal-safe calls only.
[[noreturn]] void execChild(char *const argv[], const char *dir, int nullFd, int errorFd)
{
    if (nullFd >= 0)
        ::dup2(nullFd, STDIN_FILENO);
    // Keep the error pipe at 3 (close-on-exec, so a successful exec closes it) and drop
    // every other descriptor: the launcher's keyboard devices, sockets and pipes are none of
    // the program's business.
    if (errorFd != 3) {
        if (::dup3(errorFd, 3, O_CLOEXEC) < 0)
            ::_exit(127);
        errorFd = 3;
    }
    ::closefrom(4);

    struct sigaction dfl = {};
    dfl.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig)
        ::sigaction(sig, &dfl, nullptr);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);

    // A folder that vanished since it was chosen is no reason not to start the program.
    if (dir[0] != '\0' && ::chdir(dir) != 0 && ::chdir("/") != 0) {
    }
    ::execve(argv[0], argv, environ);
    reportAndExit(errorFd, errno);
}

} // namespace

bool spawnDetached(const QStringList &argv, const QString &workDir, int *error)
{
    int dummy = 0;
    int &err = error ? *error : dummy;
    err = 0;
    if (argv.isEmpty() || argv.first().isEmpty()) {
        err = EINVAL;
        return false;
    }

    // Everything the child needs is built here: after fork only async-signal-safe calls.
    std::vector<QByteArray> bytes;
    bytes.reserve(argv.size());
    for (const QString &a : argv)
        bytes.push_back(QFile::encodeName(a));
    std::vector<char *> cargv;
    cargv.reserve(bytes.size() + 1);
    for (QByteArray &b : bytes)
        cargv.push_back(b.data());
    cargv.push_back(nullptr);
    const QByteArray dir = QFile::encodeName(workDir);

    int pipeFd[2];
    if (::pipe2(pipeFd, O_CLOEXEC) != 0) {
        err = errno;
        return false;
    }
    pipeFd[0] = aboveStdio(pipeFd[0]);
    pipeFd[1] = aboveStdio(pipeFd[1]);
    const int nullFd = aboveStdio(::open("/dev/null", O_RDWR | O_CLOEXEC));

    // No signal handler of ours may run in a child before exec (the launcher's SIGTERM
    // handler would write to the launcher's own wake-up pipe).
    sigset_t all, saved;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &saved);

    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild < 0)
            reportAndExit(pipeFd[1], errno);
        if (grandchild > 0)
            ::_exit(0);
        execChild(cargv.data(), dir.constData(), nullFd, pipeFd[1]);
    }
    const int forkErrno = errno;
    ::pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    ::close(pipeFd[1]);
    if (nullFd >= 0)
        ::close(nullFd);

    if (pid < 0) {
        ::close(pipeFd[0]);
        err = forkErrno;
        return false;
    }

    // The middle process ends as soon as it has forked; reaping it leaves no zombie, and the
    // program itself belongs to init (or the session's subreaper) from now on.
    int status = 0;
    pid_t waited;
    do {
        waited = ::waitpid(pid, &status, 0);
    } while (waited < 0 && errno == EINTR);

    int childErrno = 0;
    ssize_t n;
    do {
        n = ::read(pipeFd[0], &childErrno, sizeof childErrno);
    } while (n < 0 && errno == EINTR);
    ::close(pipeFd[0]);
    if (n == sizeof childErrno) {
        err = childErrno;
        return false;
    }
    // The middle process fails only with an errno in the pipe, but if it died some other
    // way nothing was started. (With SIGCHLD ignored there is no status to look at.)
    if (waited == pid && !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
        err = ECHILD;
        return false;
    }
    return true;
}

} // namespace platform
