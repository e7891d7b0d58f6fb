#pragma once

// The help file: a small line-based text format of our own, UTF-8.
//
//   # comment          a '#' in the first column; the whole line is ignored
//   = Topic title      starts a topic; titles are unique (compared ignoring case)
//   keywords: a, b     index keywords of the current topic, comma-separated; may repeat
//   (blank line)       ends a paragraph or a list item
//   - item             a bulleted list item; following lines that are indented continue it
//   | text             a line shown exactly as written, in a fixed-width font, no markup
//   any other line     paragraph text; consecutive lines are joined with a space
//
// Inline markup inside paragraphs and list items: *bold*, `literal`, and [[Topic title]]
// for a link to another topic (the target must exist). A CR before each LF and a UTF-8
// byte order mark are accepted.
//
// Anything but comments and blank lines before the first topic, a topic without a title,
// a duplicate title, a link to no topic, NUL or other control bytes, text that is not
// UTF-8 and a file without any topic make the whole file damaged: the reader then returns
// an error that says what and where, and no topics.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

struct HelpTopic
{
    QString title;
    QStringList keywords;
    /// The topic's body lines after comments and keyword lines were taken out, as written.
    QStringList lines;
    int line = 0; ///< 1-based line of the title in the file
};

struct HelpFile
{
    QList<HelpTopic> topics;
    /// Index of the topic titled @p title (ignoring case), or -1.
    int topicIndex(const QString &title) const;
    /// Case-folded title to topic index, filled by the parser; when empty, topicIndex()
    /// walks the topics.
    QHash<QString, int> titleIndex;
};

struct HelpParseResult
{
    bool ok = false;
    QString error; ///< why the file is damaged, with the line when there is one
    HelpFile file;
};

/// Largest help file that is read; anything bigger is not a help file.
constexpr qint64 maxHelpFileSize = 4 * 1024 * 1024;

HelpParseResult parseHelpText(const QByteArray &bytes);

/// Reads and parses @p path. A missing or unreadable file is an error like a damaged one.
/// @p bytes, when given, receives what was read.
HelpParseResult readHelpFile(const QString &path, QByteArray *bytes = nullptr);

/// The topic's text as HTML for a rich-text view: the title as a heading, then paragraphs
/// and lists. Links point to "topic:<index>".
QString topicHtml(const HelpFile &file, int topic);

/// One line of the keyword index.
struct HelpIndexEntry
{
    QString keyword;
    int topic = -1;
    /// What the index shows: the keyword, followed by the topic's title in parentheses when
    /// the same keyword belongs to more than one topic.
    QString label;
};

/// Every keyword of every topic, sorted ignoring case (then by topic order); the same
/// keyword given twice in one topic is listed once.
QList<HelpIndexEntry> helpIndex(const HelpFile &file);

/// The entries that the typed @p text selects: those whose keyword, or a word inside it,
/// begins with @p text, ignoring case and surrounding spaces. Empty text selects all.
QList<HelpIndexEntry> filterHelpIndex(const QList<HelpIndexEntry> &index, const QString &text);
