#pragma once

// Test doubles of every platform service. Each records what it was asked and answers
// from what the test scripted.

#include "platform/dialogs.h"
#include "platform/helpviewer.h"
#include "platform/keyboard.h"
#include "platform/platformbundle.h"
#include "platform/profile.h"
#include "platform/shell.h"
#include "platform/trayicon.h"
#include "platform/windowfocus.h"

#include <QIcon>
#include <QList>
#include <QQueue>
#include <QString>
#include <QStringList>

#include <optional>

namespace fake {

/// A keyboard whose snapshots the test scripts: press()/release() change the keys down now;
/// tap() marks a key as pressed since the last snapshot without it being down.
class ScriptedKeyboard : public platform::KeyboardDevice
{
    Q_OBJECT
public:
    bool acquire(QString *error) override;
    bool readState(platform::KeyState &state, QString *error) override;
    QString name() const override { return QStringLiteral("scripted"); }
    void setHotkeys(const QList<platform::HotkeyUse> &uses) override { hotkeys = uses; }
    bool sharedShortcut(const QString &key) override { return shared.contains(key.toUpper()); }

    void press(int scanCode);
    void release(int scanCode);
    void tap(int scanCode);
    void releaseAll();

    QString failAcquireWith; ///< non-empty: acquire() fails with this message
    QString failReadWith;    ///< non-empty: readState() fails with this message
    int acquireCalls = 0;
    int readCalls = 0;
    QList<platform::HotkeyUse> hotkeys; ///< as the last setHotkeys() gave them
    QStringList shared;                 ///< keys (upper case) that another program also holds

private:
    platform::KeyState m_down{};
    platform::KeyState m_tapped{};
};

/// Records every open request.
class RecordingShell : public platform::Shell
{
public:
    platform::OpenResult open(const QString &file) override;
    platform::OpenResult openUrl(const QString &url) override;

    struct Call
    {
        enum Kind
        {
            Open,
            Url
        } kind;
        QString target;
    };
    QList<Call> calls;
    bool answer = true;
    QString refusal = QStringLiteral("the test refused it"); ///< the reason when !answer
    /// "open:<file>" and "url:<address>", in call order.
    QStringList log() const;
};

/// An icon whose tray the test scripts; the test fires activations through activated().
class FakeTrayIcon : public platform::TrayIcon
{
    Q_OBJECT
public:
    void show(const QIcon &icon, const QString &toolTip) override;
    void hide() override { shown = false; }
    bool trayAvailable() const override { return tray; }
    void setContextMenu(QMenu *menu) override { contextMenu = menu; }
    bool supportsMessages() const override { return messages; }
    void showMessage(const QString &title, const QString &text) override
    {
        shownMessages << title + QLatin1Char('\n') + text;
    }

    bool tray = true;
    bool messages = true;
    QStringList shownMessages; ///< "title\ntext" of each message
    bool shown = false;
    int shows = 0;
    QIcon icon;
    QString toolTip;
    QMenu *contextMenu = nullptr;
};

/// Answers message boxes and file dialogs from queues, and records what was shown.
class ScriptedDialogs : public platform::Dialogs
{
public:
    bool ask(QWidget *parent, const QString &text) override;
    void tell(QWidget *parent, const QString &text, platform::Severity severity) override;
    QString openFileName(QWidget *parent) override;

    struct Message
    {
        enum Kind
        {
            Question,
            Plain,
            Error
        } kind;
        QString text;
    };
    QList<Message> messages;
    QQueue<bool> answers;        ///< next answer to a question; empty: Yes
    QQueue<QString> fileAnswers; ///< next file name; empty: cancelled ("")
    int fileDialogCalls = 0;
};

/// Records help requests.
class RecordingHelpViewer : public platform::HelpViewer
{
public:
    bool showContents(QWidget *owner, const QString &path) override;
    bool showIndex(QWidget *owner, const QString &path) override;
    struct Call
    {
        enum Kind
        {
            Contents,
            Index
        } kind;
        QString path;
    };
    QList<Call> calls;
};

/// A window system whose focus the test scripts. By default it cannot be asked (as on the
/// offscreen platform) and leaves "is the program active" to Qt.
class ScriptedWindowFocus : public platform::WindowFocus
{
public:
    bool activate(QWidget *window) override;
    platform::FocusOwner focusOwner(const QWidget *window) override;
    bool programActive() const override;

    platform::FocusOwner owner = platform::FocusOwner::Unknown;
    std::optional<bool> active; ///< unset: Qt's active window decides
    bool canActivate = false;   ///< what activate() answers
    QList<QWidget *> activated; ///< every window activate() was asked for
    int ownerQueries = 0;
};

/// A bundle of fakes, with raw pointers kept for the test after the bundle is handed over.
struct FakePlatform
{
    ScriptedKeyboard *keyboard;
    RecordingShell *shell;
    FakeTrayIcon *trayIcon;
    ScriptedDialogs *dialogs;
    RecordingHelpViewer *helpViewer;
    ScriptedWindowFocus *windowFocus;
    /// Every service but the profile, which the test puts in: the file-backed one, or a fake.
    platform::PlatformBundle bundle;
    FakePlatform();
};

} // namespace fake
