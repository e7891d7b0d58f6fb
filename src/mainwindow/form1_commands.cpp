#include "mainwindow/form1.h"

#include "editor/dialog.h"
#include "entries/entryfile.h"
#include "entries/ini.h"
#include "platform/dialogs.h"
#include "ui/programicon.h"

using ui::bringForward;

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

    const entries::WritePlan plan = entries::removePlan(count, n, tables);
    if (plan.isEmpty())
        return;
    const QString path = entryFilePath();
    const platform::WriteResult written = entries::applyPlan(path, plan);
    if (!written.ok) {
        dialogs().messageBox(this, entries::removeFailedMessage(path, written.error),
                             platform::MbOk | platform::MbIconStop);
        // Whatever happened, the list shows the file as it is.
        reload(n);
        return;
    }
    if (m_dialog)
        m_dialog->entryRemoved(n);
    reload(entries::rowAfterRemove(count, n));
}

void Form1::entrySaved(int row)
{
    reload(row);
}

void Form1::editorClosed(Dialog *editor)
{
    if (m_dialog == editor)
        m_dialog = nullptr;
}

void Form1::Exit_Click()
{
    exit1();
}
