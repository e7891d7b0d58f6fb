#pragma once

#include "platform/profile.h"

#include <QString>

/// The only access to the entry file. Both go through platform::profile().

/// The stored value of @p key in @p section of @p path, whole, or @p def when missing.
QString ini_read(const QString &path, const QString &section, const QString &key,
                 const QString &def);

/// Stores @p value, with each CR and LF replaced by a space; the caller's text is unchanged.
/// Returns whether the write reached the file (or, inside a group, was accepted into it) and
/// otherwise why not.
platform::WriteResult ini_write(const QString &path, const QString &section, const QString &key,
                                const QString &value);

/// The entry file, worked out afresh for each call: "DAzad.ini" in the running program's own
/// folder when that file exists or the user may create files there, otherwise
/// "dudud-adadadiz/DAzad.ini" in the user's configuration folder ($XDG_CONFIG_HOME, or
/// ~/.config when that is unset), whose folder the first write creates.
QString entryFilePath();

/// The running program's folder; tests may point it elsewhere (empty restores it).
QString programDir();
void setProgramDirForTesting(const QString &dir);
