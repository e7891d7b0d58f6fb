#include "mainwindow/form1.h"
#include "prompt/form2.h"
#include "ui/programicon.h"

#include <QCursor>
#include <QLoggingCategory>
#include <QMenu>

Q_LOGGING_CATEGORY(lcTray, "dudud.tray", QtWarningMsg)

void Form1::Form_MouseMove(int code)
{
    qCDebug(lcTray) << "icon event" << code;
    switch (code) {
    case platform::WmLButtonUp:
        qlauncher_Click();
        if (m_form2)
            ui::bringForward(m_form2);
        break;
    case platform::WmLButtonDblClk:
        mwindow_Click();
        break;
    case platform::WmRButtonUp:
        raise();
        activateWindow();
        mPopupSys->setDefaultAction(action(QStringLiteral("mwindow")));
        mPopupSys->popup(QCursor::pos());
        break;
    default:
        break;
    }
}

void Form1::mwindow_Click()
{
    restoreWindowState();
    show();
    Form_Resize();
    ui::bringForward(this);
}

void Form1::ex_Click()
{
    exit1();
}
