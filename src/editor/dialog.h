#pragma once

#include "editor/editorhost.h"
#include "editor/rules/editorrules.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

/// The entry editor: adds an entry, or modifies the entry selected in its host's list when
/// the host's Modi is set at load. Modeless and without owner; deletes itself when it
/// closes, and every way of closing it (OK, Cancel, Escape, the close box) clears Modi. The
/// host deletes an editor still open when the host goes.
class Dialog : public QDialog
{
    Q_OBJECT
public:
    /// Builds the window and runs Form_Load(); the caller shows it.
    explicit Dialog(EditorHost &host);
    ~Dialog() override;

    /// Fills the hotkey list and the fields for the mode in Modi.
    void Form_Load();
    /// Puts the hotkey choices into cmbhotkey and selects "None".
    void Fill_List();

    /// The main window removed entry @p n: keeps edit_index on the same entry, or marks the
    /// entry gone (0) when it was the one removed.
    void entryRemoved(int n);

    /// The section of the entry being modified; 0 in add mode or once that entry is gone.
    int edit_index = 0;

    QLineEdit *txtkeyword = nullptr;
    QComboBox *cmbhotkey = nullptr;
    QLineEdit *txtaction = nullptr;
    QPushButton *cmdbrowse = nullptr;
    QPushButton *OKButton = nullptr;
    QPushButton *CancelButton = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    /// Under the hotkey list, shown while the chosen hotkey is another program's shortcut.
    QLabel *lblShared = nullptr;

public slots:
    /// A hotkey was chosen: tells under the list when it is another program's shortcut too.
    void cmbhotkey_Click();
    void cmdbrowse_Click();
    void CancelButton_Click();
    void OKButton_Click();
    /// Escape: the same as Cancel.
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *e) override;

private:
    /// Places the controls for the font: the design, grown where a text needs more room.
    void fitToFont();
    editor::EntryFields fields() const;

    EditorHost &m_host;
    /// The entry being modified as it was loaded: found again by its values should another
    /// program have moved it.
    entries::EntryValues m_loaded;
};
