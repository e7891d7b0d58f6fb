#include "app/launcher.h"

#include "editor/rules/editorrules.h"
#include "entries/ini.h"
#include "launch/actionlauncher.h"
#include "launch/commandline.h"
#include "mainwindow/form1.h"
#include "platform/dialogs.h"
#include "platform/helpviewer.h"
#include "platform/keyboard.h"
#include "platform/memory.h"
#include "platform/profile.h"
#include "platform/shell.h"
#include "platform/windowfocus.h"
#include "prompt/form2.h"
#include "ui/programicon.h"

#include <QCursor>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMenu>

Q_LOGGING_CATEGORY(lcTray, "dudud.tray", QtWarningMsg)

namespace {
// One row per entry with a hotkey, named by its keyword (its action when it has none).
QList<platform::HotkeyUse> hotkeyUses(const EntryTables &t)
{
    QList<platform::HotkeyUse> uses;
    const int n = qMin(t.count(), int(qMin(t.Hotkey.size(), t.Keyword.size())));
    for (int i = 0; i < n; ++i) {
        if (!t.Hotkey.at(i).isEmpty())
            uses.append(
                {t.Hotkey.at(i), t.Keyword.at(i).isEmpty() ? t.Action.value(i) : t.Keyword.at(i)});
    }
    return uses;
}
} // namespace

Launcher::Launcher(platform::PlatformBundle bundle, const QString &programDir, QObject *parent)
    : QObject(parent), m_platform(std::move(bundle)), m_store(*m_platform.profile, programDir)
{
    connect(&m_store, &EntryStore::reloaded, this, &Launcher::entriesReloaded);
    connect(m_platform.trayIcon.get(), &platform::TrayIcon::activated, this,
            &Launcher::Form_MouseMove);
    // What the desktop's opener could not open after all is told like any failed action.
    m_platform.shell->setLateFailureHandler([this](const QString &action, const QString &why) {
        m_platform.dialogs->tell(nullptr, launchFailedMessage(action, why),
                                 platform::Severity::Error);
    });
    buildTrayMenu();
    Timer1.setInterval(150);
    connect(&Timer1, &QTimer::timeout, this, &Launcher::Timer1_Timer);
}

Launcher::~Launcher()
{
    // The windows work on the store and the services: they go first.
    m_form1.reset();
    delete m_form2.data();
}

bool Launcher::Form_Load()
{
    QString keyboardError;
    const bool keyboardOk = init_DI(&keyboardError);
    // A write cut short by a crash may have left its temporary file beside the entry file.
    const platform::SweepResult swept = m_store.sweepLeftovers();
    if (!swept.ok)
        qWarning("%s", qPrintable(swept.error));
    if (m_store.path().isEmpty())
        m_platform.dialogs->tell(nullptr, noConfigFolderText(), platform::Severity::Error);
    m_store.getinfo();

    platform::TrayIcon &tray = *m_platform.trayIcon;
    tray.setContextMenu(m_trayMenu.get());
    tray.show(ui::programIcon(), QStringLiteral("Dudud Adadadiz"));
    // Without a tray the main window goes to the taskbar minimised: it is then the only way
    // to the program.
    if (!tray.trayAvailable()) {
        mainWindow().show();
        mainWindow().minimise();
    }
    // A first start, from the menu as often as not, says where the program went and how to
    // use it; once there is an entry file, the user knows.
    if (const QString file = m_store.path();
        !file.isEmpty() && !QFileInfo::exists(file) && tray.supportsMessages()) {
        tray.showMessage(
            QStringLiteral("Dudud Adadadiz is in the tray"),
            QStringLiteral("Press F7 in any program to open the keyword prompt. Add entries in "
                           "the main window: double-click the icon, or choose Main window in "
                           "its menu."));
    }
    // Once the event loop has run the start-up's queued work (the icon's embedding among it).
    QTimer::singleShot(0, this, [] { platform::releaseFreedMemory(); });

    // The entry file is shared with other programs and text editors: the entries follow it.
    m_store.watch();
    if (!keyboardOk) {
        keyboardFailed(keyboardError);
        return true;
    }
    platform::KeyboardDevice &keyboard = *m_platform.keyboard;
    connect(&keyboard, &platform::KeyboardDevice::keyPressed, this, &Launcher::wakeTick,
            Qt::QueuedConnection);
    connect(&keyboard, &platform::KeyboardDevice::failed, this, &Launcher::keyboardFailed);
    // The device reads on: the hotkeys come once the user has done what the box says.
    connect(
        &keyboard, &platform::KeyboardDevice::notice, this,
        [this](const QString &text) {
            m_platform.dialogs->tell(nullptr, text, platform::Severity::Error);
        },
        Qt::QueuedConnection);
    Timer1.start();
    return true;
}

void Launcher::entriesReloaded()
{
    const QList<platform::HotkeyUse> uses = hotkeyUses(m_store.tables);
    m_platform.keyboard->setHotkeys(uses);
    // Told once for each key: the entries are reloaded on every change of the file.
    for (const platform::HotkeyUse &use : uses) {
        const QString key = use.key.toUpper();
        if (!m_sharedTold.contains(key) && !m_keyboardFailed &&
            m_platform.keyboard->sharedShortcut(key)) {
            m_sharedTold.insert(key);
            qWarning("dudud-adadadiz: %s", qPrintable(editor::sharedShortcutNote(key)));
        }
    }
    if (m_form2)
        m_form2->takeCopies();
}

void Launcher::requested(const commandline::Request &request)
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

bool Launcher::init_DI(QString *error)
{
    return m_platform.keyboard->acquire(error);
}

void Launcher::Timer1_Timer()
{
    platform::KeyState state{};
    QString error;
    if (m_keyboardFailed)
        return;
    if (!m_platform.keyboard->readState(state, &error)) {
        keyboardFailed(error);
        return;
    }
    const HotkeyMonitor::Decision d = m_monitor.tick(state, m_store.s);
    // At rest the program sleeps until the device reports a press.
    if (d.rest)
        Timer1.stop();
    if (d.openPrompt)
        qlauncher_Click();
    for (const QString &k : d.keys)
        check(k);
}

void Launcher::wakeTick()
{
    if (m_keyboardFailed)
        return;
    // The tick follows the keys while they are held: releases come with no signal.
    if (!Timer1.isActive())
        Timer1.start();
    Timer1_Timer();
}

void Launcher::keyboardFailed(const QString &why)
{
    // Told once: the message box is modal, and the ticks that run meanwhile would find the
    // device failing again.
    if (m_keyboardFailed)
        return;
    m_keyboardFailed = true;
    Timer1.stop();
    // Everything but the hotkeys still works, and the message says how to get them back:
    // the program runs on.
    m_platform.dialogs->tell(nullptr, why, platform::Severity::Error);
}

void Launcher::exit1()
{
    m_platform.trayIcon->hide();
    Timer1.stop();
    emit ended();
}

void Launcher::check(const QString &k)
{
    const EntryTables &t = m_store.tables;
    QStringList failures;
    checkHotkey(
        k, t.Hotkey, t.Action, t.count(),
        [this](const QString &url) { return SHELL_internetlink(url); }, *m_platform.shell,
        &failures);
    // One box for the press, once the tick that made it is over: the box is modal, and the
    // ticks that run while it is open must find the monitor's decision complete.
    if (!failures.isEmpty()) {
        QMetaObject::invokeMethod(
            this,
            [this, text = failures.join(QStringLiteral("\n\n"))] {
                m_platform.dialogs->tell(nullptr, text, platform::Severity::Error);
            },
            Qt::QueuedConnection);
    }
}

platform::OpenResult Launcher::SHELL_internetlink(const QString &url)
{
    return m_platform.shell->openUrl(url);
}

void Launcher::qlauncher_Click()
{
    platform::WindowFocus &focus = *m_platform.windowFocus;
    if (!m_form2)
        m_form2 = new Form2(m_store.tables, *m_platform.shell, *m_platform.dialogs, focus);
    m_form2->show();
    // F7 usually arrives while another application has the keyboard; a plain show would
    // leave the prompt behind it on window managers that prevent focus stealing.
    m_form2->activateWindow();
    focus.activate(m_form2);
}

void Launcher::Form_MouseMove(platform::TrayActivation activation)
{
    qCDebug(lcTray) << "icon activated" << int(activation);
    switch (activation) {
    case platform::TrayActivation::Click:
        qlauncher_Click();
        ui::bringForward(m_form2);
        break;
    case platform::TrayActivation::DoubleClick:
        mwindow_Click();
        break;
    case platform::TrayActivation::ContextMenu:
        m_trayMenu->setDefaultAction(m_trayMenu->findChild<QAction *>(QStringLiteral("mwindow")));
        m_trayMenu->popup(QCursor::pos());
        break;
    }
}

void Launcher::mwindow_Click()
{
    mainWindow().present();
}

void Launcher::ex_Click()
{
    exit1();
}

Form2 *Launcher::prompt() const
{
    return m_form2;
}

Form1 &Launcher::mainWindow()
{
    if (!m_form1) {
        m_form1 = std::make_unique<Form1>(m_store, *m_platform.dialogs, *m_platform.helpViewer,
                                          *m_platform.trayIcon);
        connect(m_form1.get(), &Form1::exitRequested, this, &Launcher::exit1);
        m_form1->setShortcutProbe([this](const QString &key) {
            return !m_keyboardFailed && m_platform.keyboard->sharedShortcut(key);
        });
    }
    return *m_form1;
}

void Launcher::buildTrayMenu()
{
    m_trayMenu = std::make_unique<QMenu>(QStringLiteral("&Systray"));
    QMenu *menu = m_trayMenu.get();
    menu->setObjectName(QStringLiteral("mPopupSys"));
    QAction *mwindow = menu->addAction(QStringLiteral("&Main window"));
    mwindow->setObjectName(QStringLiteral("mwindow"));
    connect(mwindow, &QAction::triggered, this, &Launcher::mwindow_Click);
    QAction *qlauncher = menu->addAction(QStringLiteral("&Dudud Adadadiz"));
    qlauncher->setObjectName(QStringLiteral("qlauncher"));
    // Shown in the menu only: F7 is watched by the hotkey monitor, not a window shortcut.
    qlauncher->setShortcut(QKeySequence(Qt::Key_F7));
    qlauncher->setShortcutContext(Qt::WidgetShortcut);
    qlauncher->setShortcutVisibleInContextMenu(true);
    connect(qlauncher, &QAction::triggered, this, &Launcher::qlauncher_Click);
    QAction *ex = menu->addAction(QStringLiteral("&Exit"));
    ex->setObjectName(QStringLiteral("ex"));
    connect(ex, &QAction::triggered, this, &Launcher::ex_Click);
    menu->setDefaultAction(mwindow);
}
