#include "inidocumentcheck.h"

#include "entries/ini/inifile.h"

#include <QList>

#include <optional>
#include <utility>
#include <vector>

using ini::IniDocument;

namespace inicheck {

namespace {

constexpr int kMaxWrites = 16;
constexpr int kMaxProbes = 48;

/// UTF-8 in which an encoded surrogate stands for itself and any other invalid byte for the
/// Latin-1 character: every QString has a spelling.
QString decodeField(QByteArrayView b)
{
    QString out;
    const auto *p = reinterpret_cast<const unsigned char *>(b.data());
    const qsizetype n = b.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned char c = p[i];
        const int extra = c >= 0xF5 ? 0 : c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 ? 1 : 0;
        char32_t cp = extra == 3 ? c & 0x07 : extra == 2 ? c & 0x0F : c & 0x1F;
        bool ok = extra > 0 && i + extra < n;
        for (int k = 1; ok && k <= extra; ++k) {
            ok = (p[i + k] & 0xC0) == 0x80;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        ok = ok && !(extra == 2 && cp < 0x800) && !(extra == 3 && (cp < 0x10000 || cp > 0x10FFFF));
        if (!ok) {
            out.append(QChar(c));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            out.append(QChar::highSurrogate(cp));
            out.append(QChar::lowSurrogate(cp));
        } else {
            out.append(QChar(char16_t(cp)));
        }
        i += extra + 1;
    }
    return out;
}

/// A name as lookups see it: case folded, without the blanks around it.
QString folded(const QString &name)
{
    qsizetype b = 0, e = name.size();
    auto blank = [&](qsizetype i) {
        const char16_t c = name.at(i).unicode();
        return c == u' ' || c == u'\t' || c == u'\r';
    };
    while (b < e && blank(b))
        ++b;
    while (e > b && blank(e - 1))
        --e;
    return name.mid(b, e - b).toCaseFolded();
}

using Probe = std::pair<QString, QString>;

/// Section and key names found in @p bytes: the pairs worth reading before and after a write.
std::vector<Probe> probesOf(const QByteArray &bytes)
{
    std::vector<Probe> out;
    QString section;
    for (const QByteArray &raw : bytes.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[') && line.lastIndexOf(']') > 0) {
            section = ini::decodeIniText(line.mid(1, line.lastIndexOf(']') - 1));
        } else if (!line.isEmpty() && !line.startsWith(';')) {
            const qsizetype eq = line.indexOf('=');
            out.emplace_back(section, ini::decodeIniText(eq < 0 ? line : line.left(eq)));
            if (out.size() >= kMaxProbes)
                break;
        }
    }
    return out;
}

QString show(const QString &t)
{
    QString out;
    for (QChar c : t)
        out += c.unicode() >= 0x20 && c.unicode() < 0x7F
                   ? QString(c)
                   : QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    return out;
}

QString readsDifferently(const IniDocument &a, const IniDocument &b,
                         const std::vector<Probe> &probes)
{
    for (const auto &[s, k] : probes) {
        if (a.value(s, k) != b.value(s, k))
            return QStringLiteral("[%1] %2 reads differently once the bytes are parsed again")
                .arg(show(s), show(k));
    }
    return {};
}

/// Empty when @p after differs from @p before only inside one line of @p before, or by
/// lines added at one place.
QString changedOutsideOneLine(const QByteArray &before, const QByteArray &after)
{
    const qsizetype shorter = qMin(before.size(), after.size());
    qsizetype p = 0;
    while (p < shorter && before[p] == after[p])
        ++p;
    qsizetype s = 0;
    while (s < shorter - p && before[before.size() - 1 - s] == after[after.size() - 1 - s])
        ++s;
    const QByteArray oldPart = before.mid(p, before.size() - p - s);
    const QByteArray newPart = after.mid(p, after.size() - p - s);
    if (oldPart.count('\n') > 1 || (oldPart.count('\n') == 1 && !oldPart.endsWith('\n')))
        return QStringLiteral("bytes of more than one line changed");
    // At most: the line end of the line before, a new header and the written line.
    if (newPart.count('\n') > 3)
        return QStringLiteral("more lines than a section and a key were added");
    return {};
}

} // namespace

QString checkIniDocument(const QByteArray &input)
{
    const QList<QByteArray> parts = input.split('\x1e');
    const QByteArray file = parts.first();
    IniDocument doc(file);
    if (doc.toBytes() != file)
        return QStringLiteral("the bytes read are not given back as they were");

    std::vector<Probe> written;
    for (qsizetype w = 1; w < parts.size() && w <= kMaxWrites; ++w) {
        const QList<QByteArray> fields = parts[w].split('\x1f');
        const QString section = decodeField(fields.value(0));
        const QString key = decodeField(fields.value(1));
        const QString value = decodeField(fields.value(2));
        const QString what = QStringLiteral("write %1 ([%2] %3=%4): ")
                                 .arg(w)
                                 .arg(show(section), show(key), show(value));

        const QByteArray before = doc.toBytes();
        std::vector<Probe> probes = probesOf(before);
        probes.insert(probes.end(), written.begin(), written.end());
        std::vector<std::optional<QString>> old;
        for (const auto &[s, k] : probes)
            old.push_back(doc.value(s, k));

        QString why;
        if (!doc.setValue(section, key, value, &why)) {
            if (why.isEmpty())
                return what + QStringLiteral("refused without a reason");
            if (doc.toBytes() != before)
                return what + QStringLiteral("refused, yet the bytes changed");
            continue;
        }
        const QByteArray after = doc.toBytes();
        if (doc.value(section, key) != value)
            return what + QStringLiteral("reads back as \"%1\"")
                              .arg(show(doc.value(section, key).value_or("<missing>")));
        const IniDocument reread(after);
        if (reread.value(section, key) != value)
            return what + QStringLiteral("reads back from its bytes as \"%1\"")
                              .arg(show(reread.value(section, key).value_or("<missing>")));
        if (const QString e = changedOutsideOneLine(before, after); !e.isEmpty())
            return what + e;
        const QString fs = folded(section), fk = folded(key);
        for (size_t i = 0; i < probes.size(); ++i) {
            const auto &[s, k] = probes[i];
            if ((folded(s) != fs || folded(k) != fk) && doc.value(s, k) != old[i])
                return what + QStringLiteral("[%1] %2 changed too").arg(show(s), show(k));
        }
        probes.emplace_back(section, key);
        if (const QString e = readsDifferently(doc, reread, probes); !e.isEmpty())
            return what + e;
        written.emplace_back(section, key);
    }
    return readsDifferently(doc, IniDocument(doc.toBytes()), probesOf(doc.toBytes()));
}

} // namespace inicheck
