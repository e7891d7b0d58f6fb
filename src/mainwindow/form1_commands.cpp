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
    // Asked to be active, not only shown: a window manager that does not focus a new
    // window as it maps it then focuses it when asked, once it is mapped.
    bringForward(m_dialog);
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
    bringForward(m_dialog);
}

void Form1::Remove_Click()
{
    // A count that is no number counts as no entries, and the list is then empty.
    const int count = tables.count();
    if (count == 0)
        return;
    const int selected = selectedRow();
    if (selected < 1 || selected > count)
        return;
    const entries::EntryValues shown = tables.entry(selected);
    if (dialogs().messageBox(this,
                             QStringLiteral("Are you sure you want to delete the selected item?"),
                             platform::MbYesNo) != platform::IdYes)
        return;

    // The file may have changed meanwhile: what is removed, and what moves down in its place,
    // comes from the file as it is now.
    reloadIfChanged();
    const int n = tables.find(shown, selected);
    const QString path = entryFilePath();
    if (n == 0) {
        dialogs().messageBox(this, entries::entryGoneMessage(path),
                             platform::MbOk | platform::MbIconStop);
        return;
    }
    const int now = tables.count();
    const entries::WritePlan plan = entries::removePlan(now, n, tables);
    if (plan.isEmpty())
        return;
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
    reload(entries::rowAfterRemove(now, n));
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
