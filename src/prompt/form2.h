#pragma once

#include "platform/shell.h"
#include "prompt/rules/promptfocus.h"
#include "prompt/rules/promptlogic.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>
#include <QWidget>

class EntryTables;
class QLineEdit;
class QTreeWidget;

namespace platform {
class Dialogs;
class Shell;
class WindowFocus;
} // namespace platform

/// The keyword prompt: a borderless strip holding one line edit. Enter hides it and opens
/// the action of the entry whose keyword was typed; turning to another window hides it too.
/// While the user types, the entries the text suggests are listed under the line edit, in
/// the window itself, which grows by the list: it never takes the keyboard focus, places
/// itself on every window system, and goes with the window.
///
/// Created once by Launcher::qlauncher_Click and then only shown and hidden: its position, its
/// copies of the entry tables and any abandoned text survive until the next show. It copies
/// from @p tables, opens actions through @p shell, tells through @p dialogs and asks
/// @p focus about the keyboard focus; all of them must outlive it.
class Form2 : public QWidget
{
    Q_OBJECT
public:
    Form2(const EntryTables &tables, platform::Shell &shell, platform::Dialogs &dialogs,
          platform::WindowFocus &focus);

    QLineEdit *Text1 = nullptr;
    /// The suggestions: keyword, action with the query filled in, hotkey. Hidden when empty.
    QTreeWidget *List1 = nullptr;
    QTimer Timer1;

    /// Opens a web address on behalf of the prompt.
    platform::OpenResult SHELL_internetlink(const QString &url);

    /// Whether the last copies held any entry.
    bool hasEntries() const { return m_entries; }
    /// Copies the tables again: they were reloaded while the prompt may be open.
    void takeCopies();

public slots:
    void Form_Load();
    void Form_Activate();
    /// @p KeyCode 13 is Enter, 9 Tab, 27 Escape, 38 Up, 40 Down; @p Shift is the modifier
    /// state, deliberately not looked at.
    void Text1_KeyDown(int KeyCode, int Shift);
    void Text1_LostFocus();
    void Text1_Validate(bool &Cancel);
    void Timer1_Timer();

protected:
    bool event(QEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;
    void changeEvent(QEvent *e) override;

private:
    /// Sizes the window and Text1 for the font: the design size, or larger where the text
    /// needs it.
    void fitToFont();
    /// Makes the prompt Qt's active window again where the window system never took it away.
    void restoreActive();
    /// Suggests for the text in Text1 (nothing while hidden); no row is chosen afterwards.
    void updateList();
    /// Shows or hides List1 and sizes the window to the strip and the list's rows.
    void showList(bool shown);
    void highlight(int row);
    /// Hides the prompt and opens the action of suggestion @p row.
    void openRow(int row);
    /// Opens @p action and clears the text; a failure is told in a box and on stderr.
    void openAction(const QString &action);

    const EntryTables &m_tables;
    platform::Shell &m_shell;
    platform::Dialogs &m_dialogs;
    QStringList m_hotkeyCopy;
    QStringList m_keywordCopy;
    QStringList m_actionCopy;
    bool m_entries = false;
    PromptKeywordIndex m_keywordIndex; ///< of the keyword copy, made on the first keystroke
    QList<PromptSuggestion> m_rows;
    int m_highlight = -1; ///< the row chosen with Down and Up; -1 for none
    int m_stripHeight = 0;
    PromptFocus m_focusRules;
    QElapsedTimer m_clock; ///< the time of the focus rules
};
