#pragma once

#include "platform/shell.h"

#include <QStringList>

#include <functional>

namespace platform {

/// Starts the program @p argv[0] (a path to an executable file, not searched in PATH) with
/// the arguments @p argv, in folder @p workDir, detached from this process: it gets its own
/// session, is not this process's child (so it never becomes a zombie here), has /dev/null as
/// standard input, keeps standard output and error, inherits no other file descriptor, and
/// starts with default signal handling and an empty signal mask. No shell is involved.
///
/// Returns once the program has been executed or has failed to be; on failure @p error (when
/// given) receives the errno of the step that failed (ENOEXEC: not a program). @p onExit,
/// when given, is called from the event loop with the program's exit status once it ends
/// (128 + the signal's number when a signal ended it), where the system can tell.
bool spawnDetached(const QStringList &argv, const QString &workDir, int *error = nullptr,
                   const std::function<void(int)> &onExit = {});

/// The desktop's "open" and default web browser on Linux (freedesktop.org desktops).
///
/// open(): see desktop::planOpen() for what a text means. Programs are started directly,
/// with the arguments the action gives them;
/// folders, documents and URLs of other schemes go to "xdg-open" (or "gio open" where
/// xdg-open is missing). Nothing that does not exist is started. An executable file that
/// turns out not to be a program (an executable bit on a document) is opened as a document.
/// An opener that ends with a failure within a few seconds (no application for the type,
/// typically) is told through the late-failure handler; one that fails later has been
/// running the application it chose, whose own ending is no failure of the opening.
///
/// openUrl(): the default handler of x-scheme-handler/http (then https) from the
/// mimeapps.list files, started through its Exec line; failing that $BROWSER, then
/// x-www-browser, then xdg-open. The address is always exactly one argument.
///
/// The lookup reads a few small files on each call; nothing is cached, so a change of the
/// default browser takes effect at once.
class LinuxShell : public Shell
{
public:
    OpenResult open(const QString &file) override;
    OpenResult openUrl(const QString &url) override;

private:
    OpenResult openWithOpener(const QString &action, const QString &target, const QString &workDir);
};

} // namespace platform
