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

/// The entry file of a program run from @p programDir, worked out afresh for each call:
/// "DAzad.ini" in that folder when that file exists or the user may create files there,
/// otherwise "dudud-adadadiz/DAzad.ini" in the user's configuration folder
/// ($XDG_CONFIG_HOME, or ~/.config when that is unset), whose folder the first write creates.
QString entryFilePath(const QString &programDir);
