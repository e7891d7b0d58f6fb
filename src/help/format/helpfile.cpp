#include "help/format/helpfile.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>

int HelpFile::topicIndex(const QString &title) const
{
    // Folded as compare() folds ignoring case: code point by code point, simply.
    if (!titleIndex.isEmpty())
        return titleIndex.value(title.toCaseFolded(), -1);
    for (int i = 0; i < topics.size(); ++i) {
        if (topics[i].title.compare(title, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

namespace {

HelpParseResult failure(const QString &why)
{
    HelpParseResult r;
    r.error = why;
    return r;
}

QString atLine(int line, const QString &what)
{
    return QStringLiteral("line %1: %2").arg(line).arg(what);
}

const QRegularExpression &linkPattern()
{
    static const QRegularExpression re(QStringLiteral("\\[\\[([^\\]]+)\\]\\]"));
    return re;
}

bool isKeywordLine(const QString &line)
{
    return line.startsWith(QLatin1String("keywords:"), Qt::CaseInsensitive);
}

} // namespace

HelpParseResult parseHelpText(const QByteArray &raw)
{
    if (raw.size() > maxHelpFileSize)
        return failure(QStringLiteral("the file is too large to be a help file"));

    QByteArray bytes = raw;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);

    // A text file has no control bytes besides tab, line ends and form feed; anything else
    // means we were handed something that is not a help file at all.
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x20 && b != '\t' && b != '\n' && b != '\r' && b != '\f') {
            return failure(QStringLiteral("the file holds binary data (byte 0x%1 at offset %2), "
                                          "not help text")
                               .arg(b, 2, 16, QLatin1Char('0'))
                               .arg(i));
        }
    }

    QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decode(bytes);
    if (decode.hasError())
        return failure(QStringLiteral("the file is not UTF-8 text"));

    if (text.trimmed().isEmpty())
        return failure(QStringLiteral("the file is empty"));

    HelpParseResult result;
    QList<HelpTopic> &topics = result.file.topics;
    struct Link
    {
        QString target;
        int line;
    };
    QList<Link> links;
    QHash<QString, int> &titles = result.file.titleIndex;
    // Grown once: a large file's tables are rebuilt at each doubling otherwise.
    const qsizetype expected = bytes.count("\n=") + 1;
    topics.reserve(expected);
    titles.reserve(expected);

    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int n = 0; n < lines.size(); ++n) {
        QString line = lines[n];
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const int lineNo = n + 1;

        if (line.startsWith(QLatin1Char('#')))
            continue;

        if (line.startsWith(QLatin1Char('='))) {
            const QString title = line.mid(1).trimmed();
            if (title.isEmpty())
                return failure(atLine(lineNo, QStringLiteral("a topic has no title after \"=\"")));
            const QString folded = title.toCaseFolded();
            if (const auto seen = titles.constFind(folded); seen != titles.cend()) {
                return failure(atLine(lineNo, QStringLiteral("the topic \"%1\" is already "
                                                             "defined on line %2")
                                                  .arg(title)
                                                  .arg(topics[*seen].line)));
            }
            titles.insert(folded, int(topics.size()));
            HelpTopic topic;
            topic.title = title;
            topic.line = lineNo;
            topics.append(std::move(topic));
            continue;
        }

        if (isKeywordLine(line)) {
            if (topics.isEmpty())
                return failure(atLine(lineNo, QStringLiteral("keywords before the first topic")));
            const QStringList words =
                line.mid(QLatin1String("keywords:").size()).split(QLatin1Char(','));
            for (const QString &w : words) {
                const QString k = w.simplified();
                if (!k.isEmpty())
                    topics.last().keywords.append(k);
            }
            continue;
        }

        if (line.trimmed().isEmpty()) {
            if (!topics.isEmpty())
                topics.last().lines.append(QString());
            continue;
        }

        if (topics.isEmpty())
            return failure(atLine(lineNo, QStringLiteral("text before the first topic")));
        topics.last().lines.append(line);
        if (line.startsWith(QLatin1Char('|')))
            continue; // shown as written: no links
        QRegularExpressionMatchIterator it = linkPattern().globalMatch(line);
        while (it.hasNext())
            links.append({it.next().captured(1).simplified(), lineNo});
    }

    if (topics.isEmpty()) {
        return failure(
            QStringLiteral("the file has no topics (a topic starts with a line \"= Title\")"));
    }

    for (const Link &l : std::as_const(links)) {
        if (result.file.topicIndex(l.target) < 0)
            return failure(
                atLine(l.line, QStringLiteral("a link to the unknown topic \"%1\"").arg(l.target)));
    }

    for (HelpTopic &t : topics) {
        while (!t.lines.isEmpty() && t.lines.first().trimmed().isEmpty())
            t.lines.removeFirst();
        while (!t.lines.isEmpty() && t.lines.last().trimmed().isEmpty())
            t.lines.removeLast();
    }

    result.ok = true;
    return result;
}

HelpParseResult readHelpFile(const QString &path, QByteArray *bytesOut)
{
    QFile f(path);
    if (!f.exists())
        return failure(QStringLiteral("the file does not exist"));
    if (!f.open(QIODevice::ReadOnly))
        return failure(QStringLiteral("the file cannot be read (%1)").arg(f.errorString()));
    // Read one byte more than allowed so that an oversized file is noticed without reading
    // all of it.
    const QByteArray bytes = f.read(maxHelpFileSize + 1);
    if (f.error() != QFileDevice::NoError)
        return failure(QStringLiteral("the file cannot be read (%1)").arg(f.errorString()));
    if (bytesOut)
        *bytesOut = bytes;
    return parseHelpText(bytes);
}

namespace {

QString inlineHtml(const HelpFile &file, const QString &text)
{
    static const QRegularExpression re(
        QStringLiteral("\\[\\[([^\\]]+)\\]\\]|\\*([^*\\s][^*]*)\\*|`([^`]+)`"));
    QString out;
    qsizetype pos = 0;
    QRegularExpressionMatchIterator it = re.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        out += text.mid(pos, m.capturedStart() - pos).toHtmlEscaped();
        if (m.hasCaptured(1)) {
            const QString target = m.captured(1).simplified();
            const int idx = file.topicIndex(target);
            if (idx >= 0)
                out += QStringLiteral("<a href=\"topic:%1\">%2</a>")
                           .arg(idx)
                           .arg(target.toHtmlEscaped());
            else
                out += target.toHtmlEscaped();
        } else if (m.hasCaptured(2)) {
            out += QStringLiteral("<b>%1</b>").arg(m.captured(2).toHtmlEscaped());
        } else {
            out += QStringLiteral("<code>%1</code>").arg(m.captured(3).toHtmlEscaped());
        }
        pos = m.capturedEnd();
    }
    out += text.mid(pos).toHtmlEscaped();
    return out;
}

} // namespace

QString topicHtml(const HelpFile &file, int topic)
{
    if (topic < 0 || topic >= file.topics.size())
        return QString();
    const HelpTopic &t = file.topics[topic];

    enum Kind
    {
        Paragraph,
        Item,
        Literal
    };
    struct Block
    {
        Kind kind;
        QString text;
    };
    QList<Block> blocks;
    bool open = false; // the last block still takes continuation lines
    for (const QString &line : t.lines) {
        if (line.startsWith(QLatin1String("| ")) || line == QLatin1String("|")) {
            const QString text = line.mid(2);
            if (open && blocks.last().kind == Literal)
                blocks.last().text += QLatin1Char('\n') + text;
            else
                blocks.append({Literal, text});
            open = true;
        } else if (line.trimmed().isEmpty()) {
            open = false;
        } else if (line.startsWith(QLatin1String("- "))) {
            blocks.append({Item, line.mid(2).trimmed()});
            open = true;
        } else if (open && (blocks.last().kind == Paragraph ||
                            (blocks.last().kind == Item && line.at(0).isSpace()))) {
            blocks.last().text += QLatin1Char(' ') + line.trimmed();
        } else {
            blocks.append({Paragraph, line.trimmed()});
            open = true;
        }
    }

    QString html = QStringLiteral("<h2>%1</h2>\n").arg(t.title.toHtmlEscaped());
    bool inList = false;
    for (const Block &b : std::as_const(blocks)) {
        if (b.kind == Item && !inList) {
            html += QStringLiteral("<ul>\n");
            inList = true;
        } else if (b.kind != Item && inList) {
            html += QStringLiteral("</ul>\n");
            inList = false;
        }
        switch (b.kind) {
        case Item:
            html += QStringLiteral("<li>%1</li>\n").arg(inlineHtml(file, b.text));
            break;
        case Paragraph:
            html += QStringLiteral("<p>%1</p>\n").arg(inlineHtml(file, b.text));
            break;
        case Literal:
            html += QStringLiteral("<pre>%1</pre>\n").arg(b.text.toHtmlEscaped());
            break;
        }
    }
    if (inList)
        html += QStringLiteral("</ul>\n");
    return html;
}

QList<HelpIndexEntry> helpIndex(const HelpFile &file)
{
    QList<HelpIndexEntry> entries;
    QHash<QString, int> topicsPerKeyword;
    for (int t = 0; t < file.topics.size(); ++t) {
        QStringList seen;
        for (const QString &k : file.topics[t].keywords) {
            const QString folded = k.toCaseFolded();
            if (seen.contains(folded))
                continue;
            seen.append(folded);
            entries.append({k, t, k});
            ++topicsPerKeyword[folded];
        }
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const HelpIndexEntry &a, const HelpIndexEntry &b) {
                         const int c = a.keyword.compare(b.keyword, Qt::CaseInsensitive);
                         return c != 0 ? c < 0 : a.topic < b.topic;
                     });
    for (HelpIndexEntry &e : entries) {
        if (topicsPerKeyword.value(e.keyword.toCaseFolded()) > 1)
            e.label = QStringLiteral("%1 (%2)").arg(e.keyword, file.topics[e.topic].title);
    }
    return entries;
}

QList<HelpIndexEntry> filterHelpIndex(const QList<HelpIndexEntry> &index, const QString &text)
{
    const QString wanted = text.simplified();
    if (wanted.isEmpty())
        return index;
    QList<HelpIndexEntry> out;
    for (const HelpIndexEntry &e : index) {
        const QString &k = e.keyword;
        for (qsizetype i = 0; i < k.size(); ++i) {
            const bool wordStart = i == 0 || !k.at(i - 1).isLetterOrNumber();
            if (wordStart && QStringView(k).mid(i).startsWith(wanted, Qt::CaseInsensitive)) {
                out.append(e);
                break;
            }
        }
    }
    return out;
}
