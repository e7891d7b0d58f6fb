#pragma once

#include <QObject>
#include <QString>

class QIcon;
class QMenu;

namespace platform {

/// What the user did with the tray icon.
enum class TrayActivation
{
    Click,       ///< a single click with the primary button
    DoubleClick, ///< a double click with the primary button
    ContextMenu, ///< a click that asks for the menu, where the tray leaves the menu to us
};

/// The program's icon in the desktop's notification area (tray).
class TrayIcon : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~TrayIcon() override = default;

    /// Shows @p icon with @p toolTip. Without a tray on the desktop the icon appears as soon
    /// as a tray comes up.
    virtual void show(const QIcon &icon, const QString &toolTip) = 0;
    /// Takes the icon away; no tray that comes later shows it.
    virtual void hide() = 0;

    /// Whether a tray is on the desktop at this moment.
    virtual bool trayAvailable() const = 0;

    /// The menu that a tray which draws menus itself shows (the caller keeps ownership).
    /// Trays that leave the menu to the program report TrayActivation::ContextMenu instead.
    virtual void setContextMenu(QMenu *menu) = 0;

    /// Whether the desktop shows messages from the icon (a balloon beside it, or a desktop
    /// notification).
    virtual bool supportsMessages() const = 0;
    /// Shows @p text under @p title as a message from the icon, where supportsMessages(). An
    /// icon still waiting for its tray shows the message when the tray comes.
    virtual void showMessage(const QString &title, const QString &text) = 0;

signals:
    void activated(platform::TrayActivation activation);
};

} // namespace platform
