#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace platform {
class Shell;
}

/// The one rule for opening an action.
///
/// An action is a web address when its first four characters, upper-cased, are "HTTP" or its
/// first three are "FTP" (all of it when shorter); nothing is trimmed.
bool isWebAddress(const QString &action);

/// Opens @p action on behalf of a launching window: a web address goes to that window's
/// SHELL_internetlink (@p internetlink), anything else to the shell's "open".
void launchAction(const QString &action, const std::function<void(const QString &)> &internetlink,
                  platform::Shell &shell);

/// Opens the action of every entry whose hotkey equals @p k ignoring case, in index order.
/// @p hotkeys and @p actions are the 0-based tables; @p count is how many entries they hold.
/// Returns how many actions were opened.
int checkHotkey(const QString &k, const QStringList &hotkeys, const QStringList &actions,
                int count, const std::function<void(const QString &)> &internetlink,
                platform::Shell &shell);
