#include "about/frmabout.h"
#include "entries/entrystore.h"
#include "mainwindow/form1.h"
#include "platform/helpviewer.h"
#include "ui/programicon.h"

#include <QDir>

namespace {
// Built anew for each command, from the program's folder and never the current one.
QString helpFilePath(const QString &programDir)
{
    return QDir(programDir).filePath(QStringLiteral("lhelp.hlp"));
}
} // namespace

void Form1::contents_Click()
{
    m_help.showContents(this, helpFilePath(m_store.programDir()));
}

void Form1::index_Click()
{
    m_help.showIndex(this, helpFilePath(m_store.programDir()));
}

void Form1::About_Click()
{
    if (!m_about) {
        m_about = new frmAbout;
        m_about->setMainWindow(this);
    }
    ui::bringForward(m_about);
}
