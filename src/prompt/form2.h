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

namespace platform {
class Dialogs;
class Shell;
class WindowFocus;
} // namespace platform

/// The keyword prompt: a borderless strip holding one line edit. Enter hides it and opens
/// the action of the entry whose keyword was typed; turning to another window hides it too.
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
    /// @p KeyCode 13 is Enter; @p Shift is the modifier state, deliberately not looked at.
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

    const EntryTables &m_tables;
    platform::Shell &m_shell;
    platform::Dialogs &m_dialogs;
    QStringList m_hotkeyCopy;
    QStringList m_keywordCopy;
    QStringList m_actionCopy;
    bool m_entries = false;
    PromptFocus m_focusRules;
    QElapsedTimer m_clock; ///< the time of the focus rules
};
