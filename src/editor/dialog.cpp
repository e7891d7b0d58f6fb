#include "editor/dialog.h"

#include "entries/entrytables.h"
#include "entries/ini.h"
#include "platform/dialogs.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

namespace {
const QString kKeywordTip = QStringLiteral("You should at least enter a word or hotkey");
const QString kActionTip = QStringLiteral("Type the URL of a webpage or the path of a file");

/// The largest point size, up to the labels' own, at which every label's text fits the
/// width it has.
qreal fittingPointSize(const QList<QPair<QLabel *, int>> &labels)
{
    QFont f = labels.first().first->font();
    qreal size = f.pointSizeF();
    for (const auto &[label, width] : labels) {
        while (size > 6 && QFontMetricsF(f).horizontalAdvance(label->text()) > width) {
            size -= 0.5;
            f.setPointSizeF(size);
        }
    }
    return size;
}

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
    setFixedSize(402, 156);

    auto place = [](QWidget *w, const char *name, int left, int top, int width, int height) {
        w->setObjectName(QString::fromLatin1(name));
        w->setGeometry(left, top, width, height);
    };

    txtkeyword = new QLineEdit(this);
    place(txtkeyword, "txtkeyword", 15, 34, 290, 21);
    txtkeyword->setToolTip(kKeywordTip);

    cmbhotkey = new QComboBox(this);
    place(cmbhotkey, "cmbhotkey", 75, 78, 81, 21);
    cmbhotkey->setEditable(false);
    cmbhotkey->setToolTip(kKeywordTip);
    cmbhotkey->setMaxVisibleItems(16);

    txtaction = new QLineEdit(this);
    place(txtaction, "txtaction", 14, 128, 290, 21);
    txtaction->setToolTip(kActionTip);
    txtaction->installEventFilter(new PathDrop(txtaction));

    cmdbrowse = new QPushButton(QStringLiteral("Browse"), this);
    place(cmdbrowse, "cmdbrowse", 311, 128, 81, 21);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    place(OKButton, "OKButton", 311, 8, 81, 25);
    OKButton->setDefault(true);

    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    place(CancelButton, "CancelButton", 312, 40, 81, 25);

    Label1 = new QLabel(QStringLiteral("Keyword :"), this);
    place(Label1, "Label1", 8, 15, 50, 14);
    Label2 = new QLabel(QStringLiteral("Hotkey :"), this);
    place(Label2, "Label2", 8, 62, 50, 14);
    Label3 = new QLabel(QStringLiteral("Ctrl + Shift +"), this);
    place(Label3, "Label3", 15, 79, 65, 21);
    Label4 = new QLabel(QStringLiteral("Action :"), this);
    place(Label4, "Label4", 8, 109, 50, 14);
    // Label3 is drawn first so that the list, which overlaps its right end, stays on top.
    Label3->lower();
    // The sizes were made for a narrower font than most desktops use: rather than grow past
    // them, the labels take a smaller size of the same font when their texts do not fit.
    const qreal labelSize = fittingPointSize({{Label1, Label1->width()},
                                              {Label2, Label2->width()},
                                              {Label3, cmbhotkey->x() - Label3->x()},
                                              {Label4, Label4->width()}});
    for (QLabel *l : {Label1, Label2, Label3, Label4}) {
        QFont f = l->font();
        f.setPointSizeF(labelSize);
        l->setFont(f);
    }

    setTabOrder(txtkeyword, cmbhotkey);
    setTabOrder(cmbhotkey, txtaction);
    setTabOrder(txtaction, cmdbrowse);
    setTabOrder(cmdbrowse, OKButton);
    setTabOrder(OKButton, CancelButton);

    connect(cmdbrowse, &QPushButton::clicked, this, &Dialog::cmdbrowse_Click);
    connect(OKButton, &QPushButton::clicked, this, &Dialog::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &Dialog::CancelButton_Click);

    Form_Load();
    txtkeyword->setFocus(Qt::OtherFocusReason);
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
        const int count = m_host.entryTables().count();
        const int row = m_host.selectedRow();
        if (count > 0 && row >= 1 && row <= count) {
            edit_index = row;
            const entries::EntryValues stored = entries::readEntry(entryFilePath(), edit_index);
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
    EntryTables &tables = m_host.entryTables();
    const QString path = entryFilePath();
    if (m_host.refreshEntries() && !addMode && edit_index != 0) {
        edit_index = tables.find(m_loaded, edit_index);
        if (edit_index == 0) {
            m_host.dialogs().messageBox(this, entries::entryGoneMessage(path),
                                        platform::MbOk | platform::MbIconStop);
            return;
        }
    }
    const editor::Refusal refusal = editor::validate(f, addMode, tables, edit_index);
    if (refusal != editor::Refusal::None) {
        m_host.dialogs().messageBox(this, editor::refusalMessage(refusal, tables.s),
                                    platform::MbOk);
        return;
    }

    const int row = addMode ? *entries::parseCount(tables.s) + 1 : edit_index;
    const entries::WritePlan plan = addMode ? entries::addPlan(row, editor::storedValues(f))
                                            : entries::modifyPlan(row, editor::storedValues(f));
    const platform::WriteResult written = entries::applyPlan(path, plan);
    if (!written.ok) {
        // Nothing reached the file: the user keeps the editor and everything typed.
        m_host.dialogs().messageBox(this, entries::saveFailedMessage(path, written.error),
                                    platform::MbOk | platform::MbIconStop);
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
