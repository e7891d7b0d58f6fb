#include "about/frmabout.h"
#include "entries/ini.h"
#include "mainwindow/form1.h"
#include "platform/helpviewer.h"

#include <QDir>

namespace {
// Built anew for each command, from the program's folder and never the current one.
QString helpFilePath()
{
    return QDir(programDir()).filePath(QStringLiteral("lhelp.hlp"));
}
} // namespace

void Form1::contents_Click()
{
    helpViewer().WinHelpA(this, helpFilePath(), platform::HelpFinder, QString());
}

void Form1::index_Click()
{
    helpViewer().WinHelpA(this, helpFilePath(), platform::HelpPartialKey, QString());
}

void Form1::About_Click()
{
    if (!m_about) {
        m_about = new frmAbout;
        m_about->setMainWindow(this);
        // The box has no owner; it must not outlive the window that opened it.
        frmAbout *box = m_about;
        connect(this, &QObject::destroyed, box, [box] { delete box; });
    }
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}
