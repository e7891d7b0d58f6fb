#include "about/frmabout.h"
#include "entries/ini.h"
#include "mainwindow/form1.h"
#include "platform/helpviewer.h"
#include "ui/programicon.h"

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
    helpViewer().showContents(this, helpFilePath());
}

void Form1::index_Click()
{
    helpViewer().showIndex(this, helpFilePath());
}

void Form1::About_Click()
{
    if (!m_about) {
        m_about = new frmAbout;
        m_about->setMainWindow(this);
    }
    ui::bringForward(m_about);
}
