#pragma once

#include <QString>

#include <functional>

namespace platform {

/// What became of a request to open something: started, or why nothing was.
struct OpenResult
{
    bool ok = true;
    /// Why nothing was started, for the user: a clause that follows "cannot be opened: ",
    /// without a final full stop.
    QString error;

    static OpenResult failed(const QString &why) { return {false, why}; }
    explicit operator bool() const { return ok; }
};

/// The desktop's "open" operation. Nothing is ever passed through a shell interpreter.
class Shell
{
public:
    virtual ~Shell() = default;

    /// Opens @p file: an executable file is started, a folder opens in the file manager,
    /// any other file in its default application, a bare program name is looked up in PATH;
    /// a leading "~/" means the home folder. A text that is not one existing path is read as
    /// a program and its arguments (the quoting of a desktop entry's Exec key) when its first
    /// word is a program. Fails, saying why, when nothing could be started.
    virtual OpenResult open(const QString &file) = 0;

    /// Opens @p url in the desktop's default web browser, passed as exactly one argument.
    /// Fails, saying why, when no browser could be started.
    virtual OpenResult openUrl(const QString &url) = 0;

    /// Called from the event loop when something open() had handed on turns out, shortly
    /// after, not to open: @p action as open() got it, and why (the same kind of clause as
    /// OpenResult::error). Unset: such failures go untold.
    void setLateFailureHandler(std::function<void(const QString &action, const QString &why)> h)
    {
        m_lateFailure = std::move(h);
    }

protected:
    void lateFailure(const QString &action, const QString &why) const
    {
        if (m_lateFailure)
            m_lateFailure(action, why);
    }

private:
    std::function<void(const QString &, const QString &)> m_lateFailure;
};

} // namespace platform
