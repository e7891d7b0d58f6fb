#pragma once

#include <QString>

class QWidget;

namespace platform {

/// The title that the program's message boxes carry.
inline QString applicationTitle()
{
    return QStringLiteral("Dudud Adadadiz");
}

/// How a message box presents what it tells.
enum class Severity
{
    Plain, ///< no icon
    Error, ///< the error icon
};

/// Modal message boxes, titled applicationTitle(), and the file-open dialog. Every text a box
/// shows also goes to standard error, for a session log that nobody watches.
class Dialogs
{
public:
    virtual ~Dialogs() = default;

    /// Asks @p text with Yes (the default) and No. Returns true for Yes.
    virtual bool ask(QWidget *parent, const QString &text) = 0;

    /// Tells @p text with an OK button.
    virtual void tell(QWidget *parent, const QString &text, Severity severity) = 0;

    /// The desktop's file-open dialog with its own defaults. Returns the full path of the
    /// chosen file, or an empty text when the user cancelled.
    virtual QString openFileName(QWidget *parent) = 0;
};

} // namespace platform
