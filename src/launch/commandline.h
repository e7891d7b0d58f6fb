#pragma once

#include <QString>
#include <QStringList>

/// The program's command line. Without arguments the program starts as a launcher; every
/// argument is a command that runs without a display and ends the program.
namespace commandline {

/// "Dudud Adadadiz 1.00".
QString versionText();

/// What --help prints: the usage, the entry file in use and the keyboard source.
QString usage(const QString &entryFile, const QString &keyboardSource);

/// The keyboard source this session would get, in words.
QString keyboardSourceName();

/// The autostart entry of the user: $XDG_CONFIG_HOME/autostart/dudud-adadadiz.desktop.
QString autostartPath();
/// A desktop entry that starts @p program at login.
QByteArray autostartEntry(const QString &program);

/// Runs the command in @p args (the arguments after the program's name) and returns the
/// exit status: 0 done, 1 failed (the reason on standard error), 2 not understood (the usage
/// on standard error). @p program is the running program's file, for the autostart entry.
int run(const QStringList &args, const QString &program);

} // namespace commandline
