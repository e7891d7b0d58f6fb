#pragma once

#include "prompt/promptlogic.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>
#include <QWidget>

class Form1;
class QLineEdit;

/// The keyword prompt: a borderless strip holding one line edit. Enter hides it and opens
/// the action of the entry whose keyword was typed; turning to another window hides it too.
///
/// Created once by Form1::qlauncher_Click and then only shown and hidden: its position, its
/// copies of the entry tables and any abandoned text survive until the next show.
class Form2 : public QWidget
{
    Q_OBJECT
public:
    explicit Form2(Form1 &main);

    QLineEdit *Text1 = nullptr;
    QTimer Timer1;

    /// Opens a web address on behalf of the prompt.
    void SHELL_internetlink(const QString &url);

    /// Whether the last copies held any entry.
    bool hasEntries() const { return m_entries; }

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

private:
    /// Whether a deactivation that Qt reports is out of date by the X server's word.
    bool focusLossIsStale();

    Form1 &m_main;
    QStringList m_hotkeyCopy;
    QStringList m_keywordCopy;
    QStringList m_actionCopy;
    bool m_entries = false;
    // Set from a show until the window manager activates the window: on X11 that takes a
    // few milliseconds, and the running timer must not hide the prompt in between.
    bool m_awaitingActivation = false;
    bool m_timerEnabled = false; ///< the first activation has switched the timer on
    QElapsedTimer m_shownAt;
};
