#pragma once

#include "platform/profile.h"

#include <QString>

/// The only access to the entry file: both go through the profile they are given.

/// The stored value of @p key in @p section of @p path, whole, or @p def when missing.
QString ini_read(platform::Profile &profile, const QString &path, const QString &section,
                 const QString &key, const QString &def);

/// Stores @p value, with each CR and LF replaced by a space; the caller's text is unchanged.
/// Returns whether the write reached the file (or, inside a group, was accepted into it) and
/// otherwise why not.
platform::WriteResult ini_write(platform::Profile &profile, const QString &path,
                                const QString &section, const QString &key, const QString &value);

/// The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute path, else
/// ~/.config; empty when HOME is unset, empty or not an absolute path either.
QString userConfigFolder();
/// What the user is told when userConfigFolder() is empty.
QString noConfigFolderText();

/// Whether a program in @p programDir is an installed copy: its folder is the one the
/// installation puts the program in, under any prefix.
bool isInstalledCopy(const QString &programDir);

/// The entry file of a program run from @p programDir, worked out afresh for each call.
/// For a copy that is not installed, "DAzad.ini" in that folder when that file exists or the
/// user may create files there. Otherwise, and always for an installed copy,
/// "dudud-adadadiz/DAzad.ini" in userConfigFolder(), whose folder the first write creates;
/// empty when there is no configuration folder (noConfigFolderText() says so).
QString entryFilePath(const QString &programDir);
