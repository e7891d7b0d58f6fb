#pragma once

#include "platform/shell.h"

#include <QString>
#include <QStringList>
#include <functional>

/// The one rule for opening an action.
///
/// An action is a web address when its first four characters, upper-cased, are "HTTP" or its
/// first three are "FTP" (all of it when shorter); nothing is trimmed.
bool isWebAddress(const QString &action);

/// A launching window's SHELL_internetlink: opens a web address in the browser.
using InternetLink = std::function<platform::OpenResult(const QString &)>;

/// Opens @p action on behalf of a launching window: a web address goes to that window's
/// SHELL_internetlink (@p internetlink), anything else to the shell's "open". Returns what
/// became of it.
platform::OpenResult launchAction(const QString &action, const InternetLink &internetlink,
                                  platform::Shell &shell);

/// What the user is told when @p action could not be opened, @p why being the reason.
QString launchFailedMessage(const QString &action, const QString &why);

/// Opens the action of every entry whose hotkey equals @p k ignoring case, in index order.
/// @p hotkeys and @p actions are the 0-based tables; @p count is how many entries they hold.
/// Returns how many actions were opened; each action that could not be is added to
/// @p failures (when given) as its launchFailedMessage().
int checkHotkey(const QString &k, const QStringList &hotkeys, const QStringList &actions, int count,
                const InternetLink &internetlink, platform::Shell &shell,
                QStringList *failures = nullptr);
