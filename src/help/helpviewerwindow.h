#pragma once

#include "help/format/helpfile.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QSplitter;
class QStackedWidget;
class QTabWidget;
class QTextBrowser;

namespace help {

/// The help viewer's window: a "Contents" tab with every topic and an "Index" tab with the
/// keywords and a search field, beside the text of the topic shown. A file that cannot be
/// shown replaces all of it by a page that says why.
class HelpViewerWindow : public QWidget
{
    Q_OBJECT
public:
    enum Page
    {
        ContentsPage = 0,
        IndexPage = 1
    };

    explicit HelpViewerWindow(QWidget *parent = nullptr);

    /// Reads @p path. Returns false, and shows the error page naming the file, when it cannot
    /// be shown. An unchanged file keeps the reader's place.
    bool load(const QString &path);
    /// Shows the topics list.
    void showContents();
    /// Shows the index with an empty search field.
    void showIndex();

    /// The topic shown, or -1.
    int currentTopic() const { return m_current; }
    const HelpFile &helpFile() const { return m_file; }
    /// The text of the error page (empty while the help is shown).
    QString errorText() const;

    /// Shows topic @p topic (an index into the file's topics) and selects it in the topics list.
    void openTopic(int topic);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setFile(const HelpFile &file);
    void fillIndex(const QString &filter);
    void openIndexItem(QListWidgetItem *item);
    void showError(const QString &path, const QString &why);

    void fitListsToText();

    QStackedWidget *m_pages = nullptr;
    QSplitter *m_splitter = nullptr;
    QTabWidget *m_tabs = nullptr;
    QListWidget *m_topicList = nullptr;
    QLineEdit *m_search = nullptr;
    QListWidget *m_keywordList = nullptr;
    QTextBrowser *m_text = nullptr;
    QLabel *m_errorText = nullptr;
    QPushButton *m_closeButton = nullptr;

    HelpFile m_file;
    QList<HelpIndexEntry> m_index;
    QString m_path;
    QByteArray m_loadedBytes;
    bool m_loaded = false;
    bool m_fitted = false;
    int m_current = -1;
};

} // namespace help
