#pragma once

#include <QString>

class Dialog;
class EntryStore;

namespace platform {
class Dialogs;
}

/// What the entry editor uses of the window that opens it.
class EditorHost
{
public:
    /// The entries: the tables that OK's repeat tests run against, and the entry file that
    /// the editor reads and writes. OK brings them up to date first, as another program may
    /// have changed the file.
    virtual EntryStore &entries() = 0;
    /// Modi: set before the editor loads, it opens in modify mode; every way of closing the
    /// editor clears it.
    virtual bool &modifyMode() = 0;
    /// The 1-based row selected in the list, or 0.
    virtual int selectedRow() const = 0;
    virtual platform::Dialogs &dialogs() = 0;
    /// The editor's OK wrote the entry file; @p row is the entry to select once the list shows
    /// the file again.
    virtual void entrySaved(int row) = 0;
    /// @p editor is closing, and deletes itself once it has.
    virtual void editorClosed(Dialog *editor) = 0;
    /// Whether Ctrl+Shift+@p key (a hotkey choice) is also another program's shortcut.
    virtual bool sharedShortcut(const QString &key)
    {
        (void)key;
        return false;
    }

protected:
    ~EditorHost() = default;
};
