#include "prompt/form2.h"

#include "entries/entrytables.h"
#include "launch/actionlauncher.h"
#include "platform/dialogs.h"
#include "platform/shell.h"
#include "platform/windowfocus.h"
#include "ui/programicon.h"
#include "ui/textfit.h"

#include <QApplication>
#include <QCursor>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScreen>
#include <QWindow>

namespace {
constexpr int PromptWidth = 309;
constexpr int PromptHeight = 19;

// Shift 1, Ctrl 2, Alt 4: the modifier bits of Qt in the order of the key handlers' state.
int shiftState(Qt::KeyboardModifiers m)
{
    return (m.toInt() >> 25) & 7;
}
} // namespace

Form2::Form2(const EntryTables &tables, platform::Shell &shell, platform::Dialogs &dialogs,
             platform::WindowFocus &focus)
    : QWidget(nullptr), m_tables(tables), m_shell(shell), m_dialogs(dialogs),
      m_focusRules(focus, this)
{
    m_clock.start();
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Dudud Adadadiz"));
    setWindowIcon(ui::programIcon());
    // A tool window keeps the short-lived prompt out of the taskbar.
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);

    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setInterval(40);
    connect(&Timer1, &QTimer::timeout, this, &Form2::Timer1_Timer);

    Text1 = new QLineEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    fitToFont();
    Text1->setToolTip(QStringLiteral("Type the keyword here, then press Enter."));
    Text1->installEventFilter(this);
    setFocusProxy(Text1);

    Form_Load();
}

void Form2::fitToFont()
{
    // The design size, grown with a larger font so that what is typed is whole, descenders
    // and all.
    const int width = qMax(PromptWidth, qRound(PromptWidth * ui::fontGrowth(Text1)));
    const int height =
        qMax(PromptHeight, ui::roomyTextSize(Text1, QStringLiteral("Wgjpq")).height());
    setFixedSize(width, height);
    Text1->setGeometry(0, 0, width, height);
}

void Form2::changeEvent(QEvent *e)
{
    if (e->type() == QEvent::FontChange || e->type() == QEvent::StyleChange)
        fitToFont();
    QWidget::changeEvent(e);
}

void Form2::Form_Load()
{
    QScreen *scr = QGuiApplication::screenAt(QCursor::pos());
    if (!scr)
        scr = QGuiApplication::primaryScreen();
    if (scr) {
        // Halves in floating point, as the window is placed top first, then left.
        const QRect sg = scr->geometry();
        const float top = sg.height() / 2.0f - Text1->height() / 2.0f;
        const float left = sg.width() / 2.0f - Text1->width() / 2.0f;
        move(sg.x() + int(left), sg.y() + int(top));
    }
    m_entries = m_tables.set_arrays(m_hotkeyCopy, m_keywordCopy, m_actionCopy);
}

void Form2::takeCopies()
{
    m_entries = m_tables.set_arrays(m_hotkeyCopy, m_keywordCopy, m_actionCopy);
}

void Form2::Form_Activate()
{
    m_entries = m_tables.set_arrays(m_hotkeyCopy, m_keywordCopy, m_actionCopy);
    Timer1.start();
}

void Form2::Text1_KeyDown(int KeyCode, int Shift)
{
    Q_UNUSED(Shift);
    if (KeyCode != PromptEnterKeyCode)
        return;
    hide();
    const PromptDecision d = decideEnter(Text1->text(), m_keywordCopy, m_actionCopy, m_entries);
    switch (d.kind) {
    case PromptDecision::NoEntries:
        return;
    case PromptDecision::Open: {
        const platform::OpenResult r = launchAction(
            d.action, [this](const QString &url) { return SHELL_internetlink(url); }, m_shell);
        Text1->clear();
        if (!r)
            m_dialogs.tell(nullptr, launchFailedMessage(d.action, r.error),
                           platform::Severity::Error);
        return;
    }
    case PromptDecision::NotFound:
        // No parent: the prompt is already hidden, and a box tied to an unmapped window may
        // be placed or stacked oddly by the window manager.
        m_dialogs.tell(nullptr, QStringLiteral("The Keyword you entered doesn't exist!"),
                       platform::Severity::Error);
        Text1->clear();
        return;
    }
}

void Form2::Text1_LostFocus()
{
    hide();
}

void Form2::Text1_Validate(bool &Cancel)
{
    Q_UNUSED(Cancel);
    hide();
}

void Form2::Timer1_Timer()
{
    if (m_focusRules.tickHides(m_clock.elapsed(), isVisible(), isActiveWindow()))
        hide();
}

platform::OpenResult Form2::SHELL_internetlink(const QString &url)
{
    return m_shell.openUrl(url);
}

bool Form2::event(QEvent *e)
{
    if (e->type() == QEvent::WindowActivate) {
        m_focusRules.activated();
        Form_Activate();
    } else if (e->type() == QEvent::Hide) {
        // A hidden prompt has nothing for the timer to hide: it rests until the next show
        // instead of waking the launcher 25 times a second for nothing.
        Timer1.stop();
    } else if (e->type() == QEvent::Show) {
        const PromptFocus::ShowPlan plan = m_focusRules.shown(
            m_clock.elapsed(), windowHandle() && windowHandle()->isActive(), isActiveWindow());
        if (plan.startTimer)
            Timer1.start();
        if (plan.restoreActive) {
            restoreActive();
            m_focusRules.restored();
        }
    }
    return QWidget::event(e);
}

void Form2::restoreActive()
{
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    QApplication::setActiveWindow(this);
    QT_WARNING_POP
}

bool Form2::eventFilter(QObject *watched, QEvent *e)
{
    if (watched == Text1) {
        if (e->type() == QEvent::KeyPress) {
            const auto *k = static_cast<QKeyEvent *>(e);
            if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
                Text1_KeyDown(PromptEnterKeyCode, shiftState(k->modifiers()));
                return true;
            }
        } else if (e->type() == QEvent::FocusOut) {
            switch (m_focusRules.focusLost(static_cast<QFocusEvent *>(e)->reason())) {
            case PromptFocusLoss::Hide: {
                bool Cancel = false;
                Text1_Validate(Cancel);
                if (!Cancel)
                    Text1_LostFocus();
                break;
            }
            case PromptFocusLoss::StaleRestore:
                // Restoring inside the deactivation would be undone by its own end.
                QTimer::singleShot(0, this, [this] {
                    if (m_focusRules.recheckRestores(isVisible(), isActiveWindow()))
                        restoreActive();
                });
                break;
            case PromptFocusLoss::Stale:
            case PromptFocusLoss::KeepForPopup:
                break;
            }
        }
    }
    return QWidget::eventFilter(watched, e);
}
