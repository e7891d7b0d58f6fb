#pragma once

#include "platform/notifyevents.h"

#include <QIcon>
#include <QString>
#include <functional>

class QMenu;

namespace platform {

/// The notification icon record: one per program, filled once at start-up and passed
/// unchanged to the delete message.
struct NotifyIconData
{
    int cbSize = 88;
    quintptr hWnd = 0; // the main window's native id, 0 while it has none
    unsigned uID = 1;
    unsigned uFlags = 7; // callback message, icon and tip are valid
    unsigned uCallbackMessage = WmMouseMove;
    QIcon hIcon;
    QString szTip;
};

/// The icon in the desktop's notification area (tray).
class NotifyIcon
{
public:
    virtual ~NotifyIcon() = default;

    /// NimAdd shows the icon described by @p data, NimDelete removes it. Returns whether the
    /// desktop has a tray that shows it now (an icon added with no tray present appears when
    /// a tray comes up later).
    virtual bool Shell_NotifyIconA(int message, const NotifyIconData &data) = 0;

    /// Whether a tray is on the desktop at this moment.
    virtual bool trayAvailable() const = 0;

    /// Receives the icon's mouse events as codes (WmLButtonUp, WmLButtonDblClk, WmRButtonUp).
    std::function<void(int code)> onEvent;

    /// The menu the tray host shows on a right click, for hosts that draw the menu
    /// themselves; the owner keeps ownership. Hosts that leave the menu to the program
    /// report WmRButtonUp instead.
    virtual void setContextMenu(QMenu *menu) = 0;
};

} // namespace platform
