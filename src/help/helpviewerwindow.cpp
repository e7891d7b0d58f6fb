#include "help/helpviewerwindow.h"

#include "ui/programicon.h"

#include <QCoreApplication>
#include <QDir>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace help {

HelpViewerWindow::HelpViewerWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("HelpViewer"));
    // Ends with the application name, so the platform does not append it a second time.
    setWindowTitle(QStringLiteral("Help for Dudud Adadadiz"));
    setWindowIcon(ui::programIcon());
    setAttribute(Qt::WA_DeleteOnClose);
    resize(720, 480);

    m_pages = new QStackedWidget(this);
    m_pages->setObjectName(QStringLiteral("pages"));
    auto *outer = new QVBoxLayout(this);
    outer->setObjectName(QStringLiteral("outerLayout"));
    outer->setContentsMargins(6, 6, 6, 6);
    outer->addWidget(m_pages);

    // The help: tabs on the left, the topic's text on the right.
    auto *splitter = m_splitter = new QSplitter(Qt::Horizontal);
    splitter->setObjectName(QStringLiteral("helpPage"));
    splitter->setChildrenCollapsible(false);

    m_tabs = new QTabWidget;
    m_tabs->setObjectName(QStringLiteral("tabs"));

    m_topicList = new QListWidget;
    m_topicList->setObjectName(QStringLiteral("topicList"));
    // Long titles wrap rather than hide behind a horizontal scroll bar.
    m_topicList->setWordWrap(true);
    m_topicList->setResizeMode(QListView::Adjust);
    m_topicList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_tabs->addTab(m_topicList, QStringLiteral("&Contents"));

    auto *indexPage = new QWidget;
    indexPage->setObjectName(QStringLiteral("indexPage"));
    auto *indexLayout = new QVBoxLayout(indexPage);
    indexLayout->setObjectName(QStringLiteral("indexLayout"));
    indexLayout->setContentsMargins(4, 4, 4, 4);
    auto *searchLabel = new QLabel(QStringLiteral("&Type the first letters of a keyword:"));
    searchLabel->setObjectName(QStringLiteral("searchLabel"));
    searchLabel->setWordWrap(true);
    m_search = new QLineEdit;
    m_search->setObjectName(QStringLiteral("searchField"));
    m_search->setClearButtonEnabled(true);
    searchLabel->setBuddy(m_search);
    m_keywordList = new QListWidget;
    m_keywordList->setObjectName(QStringLiteral("keywordList"));
    m_keywordList->setWordWrap(true);
    m_keywordList->setResizeMode(QListView::Adjust);
    m_keywordList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    indexLayout->addWidget(searchLabel);
    indexLayout->addWidget(m_search);
    indexLayout->addWidget(m_keywordList);
    m_tabs->addTab(indexPage, QStringLiteral("&Index"));

    m_text = new QTextBrowser;
    m_text->setObjectName(QStringLiteral("topicText"));
    m_text->setOpenLinks(false);
    // Tab must leave the text for the lists rather than walk through its links.
    m_text->setTabChangesFocus(true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard |
                                    Qt::LinksAccessibleByMouse);

    splitter->addWidget(m_tabs);
    splitter->addWidget(m_text);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({230, 450});
    m_pages->addWidget(splitter);

    // The error page.
    auto *errorPage = new QWidget;
    errorPage->setObjectName(QStringLiteral("errorPage"));
    auto *errorLayout = new QVBoxLayout(errorPage);
    errorLayout->setObjectName(QStringLiteral("errorLayout"));
    m_errorText = new QLabel;
    m_errorText->setObjectName(QStringLiteral("errorText"));
    m_errorText->setTextFormat(Qt::PlainText);
    m_errorText->setWordWrap(true);
    m_errorText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_errorText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_closeButton = new QPushButton(QStringLiteral("Close"));
    m_closeButton->setObjectName(QStringLiteral("closeButton"));
    errorLayout->addWidget(m_errorText, 1);
    errorLayout->addWidget(m_closeButton, 0, Qt::AlignRight);
    m_pages->addWidget(errorPage);
    connect(m_closeButton, &QPushButton::clicked, this, &QWidget::close);

    setTabOrder(m_topicList, m_text);
    setTabOrder(m_search, m_keywordList);
    setTabOrder(m_keywordList, m_text);

    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setObjectName(QStringLiteral("escapeShortcut"));
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    connect(m_topicList, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row != m_current)
            openTopic(row);
    });
    connect(m_search, &QLineEdit::textChanged, this, &HelpViewerWindow::fillIndex);
    connect(m_search, &QLineEdit::returnPressed, this,
            [this] { openIndexItem(m_keywordList->currentItem()); });
    connect(m_keywordList, &QListWidget::itemActivated, this, &HelpViewerWindow::openIndexItem);
    connect(m_text, &QTextBrowser::anchorClicked, this, [this](const QUrl &url) {
        if (url.scheme() == QLatin1String("topic"))
            openTopic(url.path().toInt());
    });
    // Up and Down in the search field walk the keyword list, so the user need not leave it.
    m_search->installEventFilter(this);
}

bool HelpViewerWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_search && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp ||
            key == Qt::Key_PageDown) {
            QKeyEvent copy(QEvent::KeyPress, key, Qt::NoModifier);
            QCoreApplication::sendEvent(m_keywordList, &copy);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool HelpViewerWindow::load(const QString &path)
{
    QByteArray bytes;
    const HelpParseResult r = readHelpFile(path, &bytes);
    if (!r.ok) {
        showError(path, r.error);
        m_loaded = false;
        return false;
    }
    if (m_loaded && path == m_path && bytes == m_loadedBytes) {
        m_pages->setCurrentIndex(0);
        return true;
    }
    m_path = path;
    m_loadedBytes = bytes;
    m_loaded = true;
    setFile(r.file);
    m_pages->setCurrentIndex(0);
    return true;
}

void HelpViewerWindow::setFile(const HelpFile &file)
{
    // Keep the reader on the same topic when the file changed under it.
    const QString keepTitle = m_current >= 0 && m_current < m_file.topics.size()
                                  ? m_file.topics[m_current].title
                                  : QString();
    m_file = file;
    m_index = helpIndex(m_file);
    m_current = -1;

    const QSignalBlocker block(m_topicList);
    m_topicList->clear();
    for (const HelpTopic &t : std::as_const(m_file.topics))
        m_topicList->addItem(t.title);
    fillIndex(m_search->text());

    const int keep = keepTitle.isEmpty() ? -1 : m_file.topicIndex(keepTitle);
    openTopic(keep >= 0 ? keep : 0);
    if (!m_fitted)
        fitListsToText();
}

void HelpViewerWindow::fitListsToText()
{
    // Wide enough for the longest title and keyword, within reason; the user's own split is
    // left alone once the window has been fitted.
    const QFontMetrics fm(m_topicList->font());
    int widest = 0;
    for (const HelpTopic &t : std::as_const(m_file.topics))
        widest = qMax(widest, fm.horizontalAdvance(t.title));
    for (const HelpIndexEntry &e : std::as_const(m_index))
        widest = qMax(widest, fm.horizontalAdvance(e.label));
    // Room for the frames, the tab page's margins and a vertical scroll bar.
    const int left = qBound(200, widest + 60, 260);
    const int right = 600; // a command line of 80 characters in the fixed-width font
    resize(left + right + m_splitter->handleWidth() + 12, qMax(height(), 480));
    m_splitter->setSizes({left, right});
    m_fitted = true;
}

void HelpViewerWindow::fillIndex(const QString &filter)
{
    m_keywordList->clear();
    const QList<HelpIndexEntry> shown = filterHelpIndex(m_index, filter);
    for (const HelpIndexEntry &e : shown) {
        auto *item = new QListWidgetItem(e.label, m_keywordList);
        item->setData(Qt::UserRole, e.topic);
    }
    if (m_keywordList->count() > 0)
        m_keywordList->setCurrentRow(0);
}

void HelpViewerWindow::openIndexItem(QListWidgetItem *item)
{
    if (!item)
        return;
    openTopic(item->data(Qt::UserRole).toInt());
    m_text->setFocus(Qt::OtherFocusReason);
}

void HelpViewerWindow::openTopic(int topic)
{
    if (topic < 0 || topic >= m_file.topics.size())
        return;
    m_current = topic;
    m_text->setHtml(topicHtml(m_file, topic));
    const QSignalBlocker block(m_topicList);
    m_topicList->setCurrentRow(topic);
}

void HelpViewerWindow::showContents()
{
    if (m_pages->currentIndex() != 0)
        return;
    m_tabs->setCurrentIndex(ContentsPage);
    m_topicList->setFocus(Qt::OtherFocusReason);
}

void HelpViewerWindow::showIndex()
{
    if (m_pages->currentIndex() != 0)
        return;
    m_tabs->setCurrentIndex(IndexPage);
    m_search->clear();
    fillIndex(QString()); // also when the field was empty, so the first keyword is current
    m_search->setFocus(Qt::OtherFocusReason);
}

QString HelpViewerWindow::errorText() const
{
    return m_pages->currentIndex() == 1 ? m_errorText->text() : QString();
}

void HelpViewerWindow::showError(const QString &path, const QString &why)
{
    m_errorText->setText(QStringLiteral("The help file \"%1\" cannot be shown: %2.")
                             .arg(QDir::toNativeSeparators(path), why));
    m_pages->setCurrentIndex(1);
    m_closeButton->setFocus(Qt::OtherFocusReason);
    // A window that never showed help needs only the room of its message.
    if (!m_fitted)
        resize(560, qMax(150, m_errorText->heightForWidth(540) + 90));
}

} // namespace help
