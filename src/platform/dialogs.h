#pragma once

#include <QString>

class QWidget;

namespace platform {

/// Message box styles and results, with the values the handlers compare against.
enum MessageStyle : int {
    MbOk = 0,
    MbYesNo = 4,
    MbIconStop = 16,
};
enum MessageResult : int {
    IdOk = 1,
    IdYes = 6,
    IdNo = 7,
};

/// The application title that message boxes carry when they give no caption of their own.
inline QString applicationTitle()
{
    return QStringLiteral("Dudud Adadadiz");
}

/// Modal message boxes and the file-open dialog.
class Dialogs
{
public:
    virtual ~Dialogs() = default;

    /// Shows @p text with the buttons and icon of @p style (MbOk, MbYesNo, plus MbIconStop);
    /// with MbYesNo, Yes is the default. An empty @p caption shows applicationTitle().
    /// Returns IdOk, IdYes or IdNo.
    virtual int messageBox(QWidget *parent, const QString &text, int style,
                           const QString &caption = QString()) = 0;

    /// The desktop's file-open dialog with its own defaults. Returns the full path of the
    /// chosen file, or an empty text when the user cancelled.
    virtual QString openFileName(QWidget *parent) = 0;
};

} // namespace platform
