#pragma once

#include <QString>

namespace platform {

/// The desktop's "open" operation. Nothing is ever passed through a shell interpreter.
class Shell
{
public:
    virtual ~Shell() = default;

    /// Opens @p file: an executable file is started, a folder opens in the file manager,
    /// any other file in its default application, a bare program name is looked up in PATH;
    /// a leading "~/" means the home folder. Returns false when nothing could be started
    /// (the caller reports nothing: the desktop's opener may show its own message).
    virtual bool open(const QString &file) = 0;

    /// Opens @p url in the desktop's default web browser, passed as exactly one argument.
    virtual bool openUrl(const QString &url) = 0;
};

} // namespace platform
