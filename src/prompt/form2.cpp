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
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScreen>
#include <QTreeWidget>
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
    Text1->setToolTip(QStringLiteral("Type the keyword here, then press Enter."));
    Text1->installEventFilter(this);
    setFocusProxy(Text1);

    List1 = new QTreeWidget(this);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setColumnCount(3);
    List1->setHeaderHidden(true);
    List1->header()->setStretchLastSection(false);
    List1->setRootIsDecorated(false);
    List1->setItemsExpandable(false);
    List1->setUniformRowHeights(true);
    List1->setAllColumnsShowFocus(true);
    List1->setSelectionMode(QAbstractItemView::SingleSelection);
    List1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    List1->setTextElideMode(Qt::ElideMiddle);
    List1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    List1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The keys stay with the text box; a click on a row opens it without taking them.
    List1->setFocusPolicy(Qt::NoFocus);
    List1->hide();
    connect(List1, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem *item) { openRow(List1->indexOfTopLevelItem(item)); });
    connect(Text1, &QLineEdit::textChanged, this, &Form2::updateList);
    fitToFont();

    Form_Load();
}

void Form2::fitToFont()
{
    // The design size, grown with a larger font so that what is typed is whole, descenders
    // and all.
    const int width = qMax(PromptWidth, qRound(PromptWidth * ui::fontGrowth(Text1)));
    m_stripHeight = qMax(PromptHeight, ui::roomyTextSize(Text1, QStringLiteral("Wgjpq")).height());
    Text1->setGeometry(0, 0, width, m_stripHeight);
    showList(List1 && !List1->isHidden());
}

void Form2::showList(bool shown)
{
    const int width = Text1->width();
    int height = m_stripHeight;
    if (List1) {
        List1->setVisible(shown && !m_rows.isEmpty());
        if (!List1->isHidden()) {
            const int frame = List1->frameWidth();
            const int listHeight = List1->sizeHintForRow(0) * int(m_rows.size()) + 2 * frame;
            List1->setGeometry(0, m_stripHeight, width, listHeight);
            // The hotkey's column fits the longest name; the keyword gets a third of the rest.
            const int inner = width - 2 * frame;
            const int hotkey = List1->fontMetrics().horizontalAdvance(QStringLiteral("F12")) +
                               List1->fontMetrics().height();
            List1->setColumnWidth(0, (inner - hotkey) / 3);
            List1->setColumnWidth(1, inner - hotkey - (inner - hotkey) / 3);
            List1->setColumnWidth(2, hotkey);
            height += listHeight;
        }
    }
    setFixedSize(width, height);
}

void Form2::updateList()
{
    m_highlight = -1;
    m_rows.clear();
    if (isVisible() && m_entries && !Text1->text().isEmpty()) {
        m_keywordIndex.update(m_keywordCopy);
        m_rows = suggest(Text1->text(), m_keywordIndex, m_keywordCopy, m_actionCopy);
    }
    List1->clear();
    QList<QTreeWidgetItem *> items;
    items.reserve(m_rows.size());
    for (const PromptSuggestion &r : m_rows) {
        auto *item =
            new QTreeWidgetItem({m_keywordCopy.at(r.index), r.action, m_hotkeyCopy.value(r.index)});
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        item->setToolTip(1, r.action); // whole, where the row elides it
        items << item;
    }
    List1->addTopLevelItems(items);
    showList(true);
}

void Form2::highlight(int row)
{
    m_highlight = row;
    if (row < 0) {
        List1->setCurrentItem(nullptr);
        List1->clearSelection();
    } else {
        List1->setCurrentItem(List1->topLevelItem(row));
    }
}

void Form2::openRow(int row)
{
    if (row < 0 || row >= m_rows.size())
        return;
    const QString action = m_rows.at(row).action;
    hide();
    openAction(action);
}

void Form2::openAction(const QString &action)
{
    const platform::OpenResult r = launchAction(
        action, [this](const QString &url) { return SHELL_internetlink(url); }, m_shell);
    Text1->clear();
    if (!r)
        m_dialogs.tell(nullptr, launchFailedMessage(action, r.error), platform::Severity::Error);
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
    if (!List1->isHidden())
        updateList();
}

void Form2::Form_Activate()
{
    m_entries = m_tables.set_arrays(m_hotkeyCopy, m_keywordCopy, m_actionCopy);
    Timer1.start();
}

void Form2::Text1_KeyDown(int KeyCode, int Shift)
{
    Q_UNUSED(Shift);
    switch (KeyCode) {
    case PromptDownKeyCode:
    case PromptUpKeyCode:
        if (m_rows.isEmpty())
            updateList(); // a text left from the last time
        if (m_rows.isEmpty())
            return;
        showList(true); // again, after Escape
        highlight(
            moveHighlight(m_highlight, int(m_rows.size()), KeyCode == PromptDownKeyCode ? 1 : -1));
        return;
    case PromptTabKeyCode:
        // A copy: the new text suggests anew, which replaces the rows.
        if (!m_rows.isEmpty())
            Text1->setText(QString(m_rows.at(qMax(0, m_highlight)).completion));
        return;
    case PromptEscapeKeyCode:
        highlight(-1);
        showList(false);
        return;
    case PromptEnterKeyCode:
        break;
    default:
        return;
    }
    if (m_highlight >= 0 && !List1->isHidden()) {
        openRow(m_highlight);
        return;
    }
    hide();
    const PromptDecision d = decideEnter(Text1->text(), m_keywordCopy, m_actionCopy, m_entries);
    switch (d.kind) {
    case PromptDecision::NoEntries:
        return;
    case PromptDecision::Open:
        openAction(d.action);
        return;
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
        // Shown again, the prompt is the strip; the list comes back with typing.
        m_highlight = -1;
        m_rows.clear();
        List1->clear();
        showList(false);
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
            int code = 0;
            switch (k->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                code = PromptEnterKeyCode;
                break;
            case Qt::Key_Tab:
                code = PromptTabKeyCode;
                break;
            case Qt::Key_Escape:
                code = PromptEscapeKeyCode;
                break;
            case Qt::Key_Up:
                code = PromptUpKeyCode;
                break;
            case Qt::Key_Down:
                code = PromptDownKeyCode;
                break;
            }
            if (code) {
                Text1_KeyDown(code, shiftState(k->modifiers()));
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
