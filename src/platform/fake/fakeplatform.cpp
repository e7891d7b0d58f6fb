#include "platform/fake/fakeplatform.h"

#include <QApplication>

namespace fake {

bool ScriptedKeyboard::acquire(QString *error)
{
    ++acquireCalls;
    if (!failAcquireWith.isEmpty()) {
        if (error)
            *error = failAcquireWith;
        return false;
    }
    return true;
}

bool ScriptedKeyboard::readState(platform::KeyState &state, QString *error)
{
    ++readCalls;
    if (!failReadWith.isEmpty()) {
        if (error)
            *error = failReadWith;
        return false;
    }
    for (size_t i = 0; i < state.size(); ++i)
        state[i] = (m_down[i] || m_tapped[i]) ? 0x80 : 0;
    m_tapped.fill(0);
    return true;
}

void ScriptedKeyboard::press(int scanCode)
{
    m_down[scanCode & 0xFF] = 0x80;
    m_tapped[scanCode & 0xFF] = 0x80;
    emit keyPressed();
}

void ScriptedKeyboard::release(int scanCode)
{
    m_down[scanCode & 0xFF] = 0;
}

void ScriptedKeyboard::tap(int scanCode)
{
    m_tapped[scanCode & 0xFF] = 0x80;
    emit keyPressed();
}

void ScriptedKeyboard::releaseAll()
{
    m_down.fill(0);
}

platform::OpenResult RecordingShell::open(const QString &file)
{
    calls.append({Call::Open, file});
    return answer ? platform::OpenResult{} : platform::OpenResult::failed(refusal);
}

platform::OpenResult RecordingShell::openUrl(const QString &url)
{
    calls.append({Call::Url, url});
    return answer ? platform::OpenResult{} : platform::OpenResult::failed(refusal);
}

QStringList RecordingShell::log() const
{
    QStringList out;
    for (const Call &c : calls)
        out << (c.kind == Call::Open ? QStringLiteral("open:") : QStringLiteral("url:")) + c.target;
    return out;
}

void FakeTrayIcon::show(const QIcon &i, const QString &tip)
{
    ++shows;
    shown = true;
    icon = i;
    toolTip = tip;
}

bool ScriptedDialogs::ask(QWidget *, const QString &text)
{
    messages.append({Message::Question, text});
    return answers.isEmpty() || answers.dequeue();
}

void ScriptedDialogs::tell(QWidget *, const QString &text, platform::Severity severity)
{
    messages.append(
        {severity == platform::Severity::Error ? Message::Error : Message::Plain, text});
}

QString ScriptedDialogs::openFileName(QWidget *)
{
    ++fileDialogCalls;
    return fileAnswers.isEmpty() ? QString() : fileAnswers.dequeue();
}

bool RecordingHelpViewer::showContents(QWidget *, const QString &path)
{
    calls.append({Call::Contents, path});
    return true;
}

bool RecordingHelpViewer::showIndex(QWidget *, const QString &path)
{
    calls.append({Call::Index, path});
    return true;
}

bool ScriptedWindowFocus::activate(QWidget *window)
{
    activated.append(window);
    return canActivate;
}

platform::FocusOwner ScriptedWindowFocus::focusOwner(const QWidget *)
{
    ++ownerQueries;
    return owner;
}

bool ScriptedWindowFocus::programActive() const
{
    return active.value_or(QApplication::activeWindow() != nullptr);
}

FakePlatform::FakePlatform()
    : keyboard(new ScriptedKeyboard), shell(new RecordingShell), trayIcon(new FakeTrayIcon),
      dialogs(new ScriptedDialogs), helpViewer(new RecordingHelpViewer),
      windowFocus(new ScriptedWindowFocus)
{
    bundle.keyboard.reset(keyboard);
    bundle.shell.reset(shell);
    bundle.trayIcon.reset(trayIcon);
    bundle.dialogs.reset(dialogs);
    bundle.helpViewer.reset(helpViewer);
    bundle.windowFocus.reset(windowFocus);
}

} // namespace fake
