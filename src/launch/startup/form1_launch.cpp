#include "mainwindow/form1.h"

#include "entries/ini.h"
#include "launch/commandline.h"
#include "platform/dialogs.h"
#include "platform/keyboard.h"
#include "platform/process.h"
#include "platform/profile.h"

#include <QCloseEvent>
#include <QLoggingCategory>
#include <QScreen>
#include <QWindow>

Q_DECLARE_LOGGING_CATEGORY(lcTray)

// The launch core of the main window: start-up, the hotkey tick, hiding into the tray and
// the ways out.

bool Form1::Form_Load()
{
    QString keyboardError;
    const bool keyboardOk = init_DI(&keyboardError);
    // A write cut short by a crash may have left its temporary file beside the entry file.
    const platform::SweepResult swept = m_platform.profile->sweepLeftovers(entryFilePath());
    if (!swept.ok)
        qWarning("%s", qPrintable(swept.error));
    getinfo();
    selectRow(1);
    // With a tray the window would be hidden again at once: it is created when it is first
    // shown. Without one it goes to the taskbar minimised.
    const bool tray = notifyIcon().trayAvailable();
    if (!tray)
        show();

    nid = platform::NotifyIconData();
    // The tray does not use the window's id; asking for it would create the window.
    nid.hWnd = quintptr(internalWinId());
    nid.hIcon = windowIcon();
    nid.szTip = QStringLiteral("Dudud Adadadiz");
    notifyIcon().onEvent = [this](int code) { Form_MouseMove(code); };
    notifyIcon().setContextMenu(mPopupSys);
    notifyIcon().Shell_NotifyIconA(platform::NimAdd, nid);

    if (!tray)
        minimise();
    m_loaded = true;
    // Once the event loop has run the start-up's queued work (the icon's embedding among it).
    QTimer::singleShot(0, this, [] { platform::releaseFreedMemory(); });

    // The entry file is shared with other programs and text editors: the list follows it.
    connect(&m_fileWatcher, &EntryFileWatcher::changed, this, &Form1::reloadIfChanged);
    m_fileWatcher.watch(entryFilePath());
    if (!keyboardOk) {
        keyboardFailed(keyboardError);
        return true;
    }
    connect(&keyboard(), &platform::KeyboardDevice::keyPressed, this, &Form1::wakeTick,
            Qt::QueuedConnection);
    connect(&keyboard(), &platform::KeyboardDevice::failed, this, &Form1::keyboardFailed);
    Timer1.start();
    return true;
}

void Form1::requested(const commandline::Request &request)
{
    switch (request.kind) {
    case commandline::Request::Show:
        mwindow_Click();
        break;
    case commandline::Request::Prompt:
        qlauncher_Click();
        break;
    case commandline::Request::Hotkey:
        check(request.key);
        break;
    }
}

bool Form1::init_DI(QString *error)
{
    return keyboard().acquire(error);
}

void Form1::Timer1_Timer()
{
    platform::KeyState state{};
    QString error;
    if (m_keyboardFailed)
        return;
    if (!keyboard().readState(state, &error)) {
        keyboardFailed(error);
        return;
    }
    const HotkeyMonitor::Decision d = m_monitor.tick(state, s);
    // At rest the program sleeps until the device reports a press.
    if (d.rest)
        Timer1.stop();
    if (d.openPrompt)
        qlauncher_Click();
    for (const QString &k : d.keys)
        check(k);
}

void Form1::wakeTick()
{
    if (m_keyboardFailed)
        return;
    // The tick follows the keys while they are held: releases come with no signal.
    if (!Timer1.isActive())
        Timer1.start();
    Timer1_Timer();
}

void Form1::keyboardFailed(const QString &why)
{
    // Told once: the message box is modal, and the ticks that run meanwhile would find the
    // device failing again.
    if (m_keyboardFailed)
        return;
    m_keyboardFailed = true;
    Timer1.stop();
    // Everything but the hotkeys still works, and the message says how to get them back:
    // the program runs on.
    dialogs().messageBox(this, why, platform::MbOk | platform::MbIconStop);
}

void Form1::exit1()
{
    notifyIcon().Shell_NotifyIconA(platform::NimDelete, nid);
    Timer1.stop();
    endProgram();
}

void Form1::Form_Resize()
{
    qCDebug(lcTray) << "resize rule, state" << windowState();
    if (windowState() & Qt::WindowMinimized) {
        // Without a tray the minimised window stays in the taskbar: it is then the only way
        // back to the main window.
        //
        // Hidden, it keeps the minimised state until it is shown again (restoreWindowState):
        // leaving that state maps the window, and a window mapped again while hidden would
        // stay on screen unpainted.
        if (notifyIcon().trayAvailable())
            hide();
        return;
    }
    const QScreen *scr = screen();
    if (!scr)
        return;
    const QRect sg = scr->geometry();
    const QRect fg = outerGeometry();
    // Until the window manager has framed the window its frame is not known: centre again
    // once it is. The frame's size can become known without a move of the window (its
    // extents come as a property), so it is also looked at for a while after the show.
    m_centreOnFrame = isVisible() && fg == geometry();
    // The client area is placed, so that the frame's size is the one read here, not the one
    // the widget last heard of.
    const QPoint frameAt(sg.x() + sg.width() / 2 - fg.width() / 2,
                         sg.y() + sg.height() / 2 - fg.height() / 2);
    setGeometry(QRect(frameAt + (geometry().topLeft() - fg.topLeft()), size()));
    if (m_centreOnFrame)
        checkFrameLater(10);
}

QRect Form1::outerGeometry() const
{
    // The widget's own frame geometry is brought up to date only by a move or resize of the
    // window. A window manager that frames the window where it stands sends neither, and
    // only sets the frame's extents: the native window reads them when they change.
    if (const QWindow *w = windowHandle(); w && w->handle())
        return w->frameGeometry();
    return frameGeometry();
}

void Form1::checkFrameLater(int times)
{
    QTimer::singleShot(100, this, [this, times] {
        if (!m_centreOnFrame || !isVisible())
            return;
        if (outerGeometry() != geometry())
            Form_Resize();
        else if (times > 1)
            checkFrameLater(times - 1);
    });
}

void Form1::minimise()
{
    // With a tray, a minimised main window is hidden at once, as the resize rule does. It is
    // hidden without going through the window system's minimised state: a window minimised
    // by the program carries a hint to map it minimised, and the window manager would then
    // minimise it again, out of sight, each time it is shown.
    if (notifyIcon().trayAvailable()) {
        hide();
        return;
    }
    setWindowState(windowState() | Qt::WindowMinimized);
    Form_Resize();
}

void Form1::restoreWindowState()
{
    if (windowState() & Qt::WindowMinimized) {
        m_restoring = true;
        setWindowState(windowState() & ~Qt::WindowMinimized);
        m_restoring = false;
    }
}

void Form1::Form_Unload(bool &Cancel)
{
    Cancel = true;
    minimise();
}

void Form1::closeEvent(QCloseEvent *event)
{
    bool Cancel = false;
    Form_Unload(Cancel);
    if (Cancel)
        event->ignore();
}

void Form1::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        qCDebug(lcTray) << "window state" << windowState() << "restoring" << m_restoring;
    if (event->type() == QEvent::WindowStateChange && m_loaded && !m_restoring)
        Form_Resize();
}

void Form1::moveEvent(QMoveEvent *event)
{
    QMainWindow::moveEvent(event);
    if (m_centreOnFrame && outerGeometry() != geometry())
        Form_Resize();
}

void Form1::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    if (m_loaded)
        Form_Resize();
}
