#include "mainwindow/form1.h"

#include "editor/dialog.h"
#include "entries/entrystore.h"
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
    const int count = m_store.tables.count();
    if (count == 0 || row < 1 || row > count)
        return;
    Modi = true;
    m_dialog = new Dialog(*this);
    bringForward(m_dialog);
}

void Form1::Remove_Click()
{
    EntryTables &tables = m_store.tables;
    // A count that is no number counts as no entries, and the list is then empty.
    const int count = tables.count();
    if (count == 0)
        return;
    const int selected = selectedRow();
    if (selected < 1 || selected > count)
        return;
    const entries::EntryValues shown = tables.entry(selected);
    if (!m_dialogs.ask(this, QStringLiteral("Are you sure you want to delete the selected item?")))
        return;

    // The file may have changed meanwhile: what is removed, and what moves down in its place,
    // comes from the file as it is now.
    m_store.reloadIfChanged();
    const int n = tables.find(shown, selected);
    if (n == 0) {
        m_dialogs.tell(this, entries::entryGoneMessage(m_store.path()), platform::Severity::Error);
        return;
    }
    const int now = tables.count();
    const entries::WritePlan plan = entries::removePlan(now, n, tables);
    if (plan.isEmpty())
        return;
    const platform::WriteResult written = m_store.apply(plan);
    if (!written.ok) {
        m_dialogs.tell(this, entries::removeFailedMessage(m_store.path(), written.error),
                       platform::Severity::Error);
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
    emit exitRequested();
}
