#include "mainwindow/form1.h"

#include "editor/dialog.h"
#include "editor/editorrules.h"
#include "entries/ini.h"
#include "platform/dialogs.h"

namespace {

void bringForward(QWidget *w)
{
    w->show();
    w->raise();
    w->activateWindow();
}

} // namespace

void Form1::Add_Click()
{
    // An open editor keeps its mode and fields; a second command only finds it again.
    if (m_dialog) {
        bringForward(m_dialog);
        return;
    }
    Modi = false;
    m_dialog = new Dialog(*this);
    m_dialog->show();
}

void Form1::Modify_Click()
{
    if (m_dialog) {
        bringForward(m_dialog);
        return;
    }
    const int row = selectedRow();
    if (tables.count() == 0 || row < 1 || row > tables.count())
        return;
    Modi = true;
    m_dialog = new Dialog(*this);
    m_dialog->show();
}

void Form1::Remove_Click()
{
    // A count that is no number counts as no entries, and the list is then empty.
    const int count = tables.count();
    if (count == 0)
        return;
    const int n = selectedRow();
    if (n < 1 || n > count)
        return;
    if (dialogs().messageBox(this,
                             QStringLiteral("Are you sure you want to delete the selected item?"),
                             platform::MbYesNo) != platform::IdYes)
        return;

    const editor::WritePlan plan = editor::removePlan(count, n, tables);
    if (plan.isEmpty())
        return;
    const QString path = entryFilePath();
    const IniWriteResult written = editor::applyPlan(path, plan);
    if (!written.ok) {
        dialogs().messageBox(this, editor::removeFailedMessage(path, written.error),
                             platform::MbOk | platform::MbIconStop);
        // Whatever happened, the list shows the file as it is.
        reload(n);
        return;
    }
    if (m_dialog)
        m_dialog->entryRemoved(n);
    reload(editor::rowAfterRemove(count, n));
}

void Form1::Exit_Click()
{
    exit1();
}
