#include "editor/dialog.h"

#include "ui/programicon.h"

#include "entries/entrytables.h"
#include "entries/entrystore.h"
#include "platform/dialogs.h"
#include "ui/textfit.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

#include <algorithm>

namespace {
const QString kKeywordTip = QStringLiteral("You should at least enter a word or hotkey");
const QString kActionTip = QStringLiteral("Type the URL of a webpage or the path of a file");

/// A file dropped on the action box gives its path, not its "file://" address; other drops
/// are the line edit's own.
class PathDrop : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *e) override
    {
        const auto type = e->type();
        if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
            return false;
        auto *drop = static_cast<QDropEvent *>(e);
        const QList<QUrl> urls = drop->mimeData()->urls();
        if (urls.size() != 1 || !urls.first().isLocalFile())
            return false;
        drop->acceptProposedAction();
        if (type == QEvent::Drop)
            static_cast<QLineEdit *>(watched)->setText(urls.first().toLocalFile());
        return true;
    }
};

} // namespace

Dialog::Dialog(EditorHost &host)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint),
      m_host(host)
{
    setObjectName(QStringLiteral("Dialog"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(QStringLiteral("Add..."));
    setWindowIcon(ui::programIcon());

    auto make = [this](auto *w, const char *name) {
        w->setObjectName(QString::fromLatin1(name));
        return w;
    };
    txtkeyword = make(new QLineEdit(this), "txtkeyword");
    txtkeyword->setToolTip(kKeywordTip);

    cmbhotkey = make(new QComboBox(this), "cmbhotkey");
    cmbhotkey->setEditable(false);
    cmbhotkey->setToolTip(kKeywordTip);
    cmbhotkey->setMaxVisibleItems(16);

    txtaction = make(new QLineEdit(this), "txtaction");
    txtaction->setToolTip(kActionTip);
    txtaction->installEventFilter(new PathDrop(txtaction));

    cmdbrowse = make(new QPushButton(QStringLiteral("Browse"), this), "cmdbrowse");
    OKButton = make(new QPushButton(QStringLiteral("OK"), this), "OKButton");
    OKButton->setDefault(true);
    CancelButton = make(new QPushButton(QStringLiteral("Cancel"), this), "CancelButton");

    Label1 = make(new QLabel(QStringLiteral("Keyword :"), this), "Label1");
    Label2 = make(new QLabel(QStringLiteral("Hotkey :"), this), "Label2");
    Label3 = make(new QLabel(QStringLiteral("Ctrl + Shift +"), this), "Label3");
    Label4 = make(new QLabel(QStringLiteral("Action :"), this), "Label4");
    lblShared = make(new QLabel(this), "lblShared");
    lblShared->setWordWrap(true);
    lblShared->hide();
    // Label3 is drawn first so that the list, which overlaps its right end, stays on top.
    Label3->lower();

    setTabOrder(txtkeyword, cmbhotkey);
    setTabOrder(cmbhotkey, txtaction);
    setTabOrder(txtaction, cmdbrowse);
    setTabOrder(cmdbrowse, OKButton);
    setTabOrder(OKButton, CancelButton);

    connect(cmbhotkey, &QComboBox::currentIndexChanged, this, &Dialog::cmbhotkey_Click);
    connect(cmdbrowse, &QPushButton::clicked, this, &Dialog::cmdbrowse_Click);
    connect(OKButton, &QPushButton::clicked, this, &Dialog::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &Dialog::CancelButton_Click);

    fitToFont();
    Form_Load();
    txtkeyword->setFocus(Qt::OtherFocusReason);
}

void Dialog::fitToFont()
{
    // The design, in pixels, holds a small font. Every control keeps its design place and
    // size unless its text needs more; a control that grows pushes the rows below it down
    // and the button column right, and the window grows with them.
    const auto need = [](const QWidget *w, const QString &text) {
        return ui::roomyTextSize(w, text);
    };
    const QString typed = QStringLiteral("Wgjpq"); // stands for what the user types
    const QSize label1 = need(Label1, Label1->text());
    const QSize label2 = need(Label2, Label2->text());
    const QSize label3 = need(Label3, Label3->text());
    const QSize label4 = need(Label4, Label4->text());
    QSize hotkey(0, 0);
    for (const QString &choice : editor::hotkeyChoices())
        hotkey = hotkey.expandedTo(need(cmbhotkey, choice));
    QSize button(0, 0);
    for (QPushButton *b : {OKButton, CancelButton, cmdbrowse})
        button = button.expandedTo(need(b, b->text())).expandedTo(QSize(b->sizeHint().width(), 0));

    const int fieldWidth = qMax(290, qRound(290 * ui::fontGrowth(this)));
    const int fieldHeight = qMax(21, need(txtkeyword, typed).height());
    const int label1Height = qMax(14, label1.height());
    const int label2Height = qMax(14, label2.height());
    const int label4Height = qMax(14, label4.height());
    const int hotkeyHeight = std::max({21, hotkey.height(), label3.height()});
    const int actionHeight = qMax(fieldHeight, button.height());
    const int buttonWidth = qMax(81, button.width());
    const int buttonHeight = qMax(25, button.height());

    // How far each row moves down: the growth of the rows above it.
    const int keywordDown = label1Height - 14;
    const int label2Down = keywordDown + fieldHeight - 21;
    const int hotkeyDown = label2Down + label2Height - 14;
    // The note under the list takes the field's width and as many lines as it needs.
    const int noteHeight = lblShared->isHidden() ? 0 : lblShared->heightForWidth(fieldWidth) + 4;
    const int label4Down = hotkeyDown + hotkeyHeight - 21 + noteHeight;
    const int actionDown = label4Down + label4Height - 14;

    // The list stands just right of the words before it.
    const int hotkeyLeft = qMax(75, 15 + label3.width() + 3);
    const int hotkeyWidth = std::max({81, hotkey.width(), cmbhotkey->sizeHint().width()});
    const int leftColumnRight =
        std::max({15 + fieldWidth, hotkeyLeft + hotkeyWidth, 8 + label1.width(), 8 + label2.width(),
                  8 + label4.width()});
    const int right = qMax(0, leftColumnRight - 305);

    Label1->setGeometry(8, 15, qMax(50, label1.width()), label1Height);
    txtkeyword->setGeometry(15, 34 + keywordDown, fieldWidth, fieldHeight);
    Label2->setGeometry(8, 62 + label2Down, qMax(50, label2.width()), label2Height);
    Label3->setGeometry(15, 79 + hotkeyDown, qMax(65, label3.width()), hotkeyHeight);
    cmbhotkey->setGeometry(hotkeyLeft, 78 + hotkeyDown, hotkeyWidth, hotkeyHeight);
    lblShared->setGeometry(15, 78 + hotkeyDown + hotkeyHeight + 2, fieldWidth,
                           qMax(0, noteHeight - 4));
    Label4->setGeometry(8, 109 + label4Down, qMax(50, label4.width()), label4Height);
    txtaction->setGeometry(14, 128 + actionDown, fieldWidth, actionHeight);
    cmdbrowse->setGeometry(311 + right, 128 + actionDown, buttonWidth, actionHeight);
    OKButton->setGeometry(311 + right, 8, buttonWidth, buttonHeight);
    CancelButton->setGeometry(312 + right, 40 + buttonHeight - 25, buttonWidth, buttonHeight);

    setFixedSize(qMax(402, CancelButton->geometry().right() + 1 + 9),
                 qMax(156, cmdbrowse->geometry().bottom() + 1 + 7));
}

void Dialog::changeEvent(QEvent *e)
{
    if (e->type() == QEvent::FontChange || e->type() == QEvent::StyleChange)
        fitToFont();
    QDialog::changeEvent(e);
}

Dialog::~Dialog() = default;

void Dialog::Fill_List()
{
    cmbhotkey->clear();
    cmbhotkey->addItems(editor::hotkeyChoices());
    cmbhotkey->setCurrentIndex(0);
}

void Dialog::Form_Load()
{
    Fill_List();
    if (m_host.modifyMode()) {
        const int count = m_host.entries().tables.count();
        const int row = m_host.selectedRow();
        if (count > 0 && row >= 1 && row <= count) {
            edit_index = row;
            const entries::EntryValues stored = m_host.entries().readEntry(edit_index);
            m_loaded = stored;
            txtaction->setText(stored.action);
            txtkeyword->setText(stored.keyword);
            cmbhotkey->setCurrentIndex(editor::hotkeyIndexOf(stored.hotkey));
            setWindowTitle(QStringLiteral("Modify..."));
            return;
        }
        // Nothing to modify: an editor that OK could only aim at a made-up entry number is
        // of no use, so it opens as an empty Add instead.
        m_host.modifyMode() = false;
    }
    edit_index = 0;
    setWindowTitle(QStringLiteral("Add..."));
    txtaction->clear();
    txtkeyword->clear();
}

editor::EntryFields Dialog::fields() const
{
    return {txtaction->text(), txtkeyword->text(), cmbhotkey->currentIndex()};
}

void Dialog::cmbhotkey_Click()
{
    const int index = cmbhotkey->currentIndex();
    const QString key = index > 0 ? editor::hotkeyChoices().at(index) : QString();
    const bool shared = !key.isEmpty() && m_host.sharedShortcut(key);
    const QString note = shared ? editor::sharedShortcutNote(key) : QString();
    if (note == lblShared->text() && shared == !lblShared->isHidden())
        return;
    lblShared->setText(note);
    lblShared->setVisible(shared);
    fitToFont();
}

void Dialog::cmdbrowse_Click()
{
    const QString file = m_host.dialogs().openFileName(this);
    if (!file.isEmpty())
        txtaction->setText(file);
}

void Dialog::CancelButton_Click()
{
    close();
}

void Dialog::reject()
{
    CancelButton_Click();
}

void Dialog::OKButton_Click()
{
    const bool addMode = !m_host.modifyMode();
    const editor::EntryFields f = fields();
    // The tests and the writes go by the file as it is now, which another program may have
    // changed since the list was loaded.
    EntryStore &store = m_host.entries();
    EntryTables &tables = store.tables;
    if (store.reloadIfChanged() && !addMode && edit_index != 0) {
        edit_index = tables.find(m_loaded, edit_index);
        if (edit_index == 0) {
            m_host.dialogs().tell(this, entries::entryGoneMessage(store.path()),
                                  platform::Severity::Error);
            return;
        }
    }
    const editor::Refusal refusal = editor::validate(f, addMode, tables, edit_index);
    if (refusal != editor::Refusal::None) {
        m_host.dialogs().tell(this, editor::refusalMessage(refusal, tables.s),
                              platform::Severity::Plain);
        return;
    }

    const int row = addMode ? *entries::parseCount(tables.s) + 1 : edit_index;
    const entries::WritePlan plan = addMode ? entries::addPlan(row, editor::storedValues(f))
                                            : entries::modifyPlan(row, editor::storedValues(f));
    const platform::WriteResult written = store.apply(plan);
    if (!written.ok) {
        // Nothing reached the file: the user keeps the editor and everything typed.
        m_host.dialogs().tell(this, entries::saveFailedMessage(store.path(), written.error),
                              platform::Severity::Error);
        return;
    }
    if (!addMode) {
        m_host.modifyMode() = false;
        edit_index = 0;
    }
    m_host.entrySaved(row);
    close();
}

void Dialog::entryRemoved(int n)
{
    if (edit_index == 0 || n > edit_index)
        return;
    edit_index = n == edit_index ? 0 : edit_index - 1;
}

void Dialog::closeEvent(QCloseEvent *event)
{
    // Not QDialog's handling, which would route the close box through reject() again.
    m_host.modifyMode() = false;
    m_host.editorClosed(this);
    event->accept();
}
