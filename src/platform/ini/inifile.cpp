#include "platform/ini/inifile.h"

#include <QStringDecoder>

#include <cstring>
#include <utility>

namespace platform {

namespace {

// 0x80..0x9F of Windows-1252; the rest of the upper half is Latin-1.
const char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

inline bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

bool isAscii(QByteArrayView b)
{
    for (char c : b) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

// Names compare as case-folded UTF-8. ASCII names, the usual case, skip the QString trip.
QByteArray foldName(QByteArrayView raw)
{
    if (isAscii(raw)) {
        QByteArray out(raw.data(), raw.size());
        for (char &c : out) {
            if (c >= 'A' && c <= 'Z')
                c = char(c - 'A' + 'a');
        }
        return out;
    }
    return decodeIniText(raw).toCaseFolded().toUtf8();
}

/// The bounds of @p name without the blanks around it.
std::pair<qsizetype, qsizetype> trimmedBounds(const QString &name)
{
    auto blank = [&](qsizetype i) {
        return name.at(i).unicode() < 0x80 && isBlank(char(name.at(i).unicode()));
    };
    qsizetype b = 0, e = name.size();
    while (b < e && blank(b))
        ++b;
    while (e > b && blank(e - 1))
        --e;
    return {b, e};
}

QString trimmedName(const QString &name)
{
    const auto [b, e] = trimmedBounds(name);
    return name.mid(b, e - b);
}

/// A caller's name folded for lookups. ASCII names up to the buffer's size, which is every
/// name this program asks for, fold into @p buf without allocating; the result then points
/// into @p buf and must not outlive it.
template <size_t N> QByteArray foldName(const QString &name, char (&buf)[N])
{
    const auto [b, e] = trimmedBounds(name);
    if (e - b <= qsizetype(N)) {
        const auto *s = reinterpret_cast<const char16_t *>(name.utf16());
        qsizetype i = b;
        for (; i < e && s[i] < 0x80; ++i)
            buf[i - b] = (s[i] >= u'A' && s[i] <= u'Z') ? char(s[i] - u'A' + 'a') : char(s[i]);
        if (i == e)
            return QByteArray::fromRawData(buf, e - b);
    }
    return name.mid(b, e - b).toCaseFolded().toUtf8();
}

QByteArray foldName(const QString &name)
{
    char buf[128];
    const QByteArray folded = foldName(name, buf);
    return QByteArray(folded.constData(), folded.size());
}

bool isFolded(QByteArrayView raw)
{
    for (char c : raw) {
        if (static_cast<unsigned char>(c) >= 0x80 || (c >= 'A' && c <= 'Z'))
            return false;
    }
    return true;
}

bool nameMatches(QByteArrayView raw, const QByteArray &folded)
{
    if (!isAscii(raw))
        return foldName(raw) == folded;
    if (raw.size() != folded.size())
        return false;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        char c = raw[i];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != folded[i])
            return false;
    }
    return true;
}

/// True when @p t holds a UTF-16 surrogate without its partner: UTF-8 has no bytes for it.
bool hasLoneSurrogate(const QString &t)
{
    const qsizetype n = t.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = t.at(i);
        if (c.isHighSurrogate() && i + 1 < n && t.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            return true;
    }
    return false;
}

/// The bytes after '=' that read back as @p value. The reader trims the blanks around a
/// value and drops one pair of matching quotes, so a value those rules would change is
/// wrapped in double quotes, which the reader then takes off again; any other value is
/// written as it stands, as files have always held it.
QByteArray encodeValue(const QString &value)
{
    const qsizetype n = value.size();
    const auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    const auto quote = [](QChar c) { return c == QLatin1Char('"') || c == QLatin1Char('\''); };
    const bool wrap = n > 0 && (blank(value.front()) || blank(value.back()) ||
                                (n >= 2 && quote(value.front()) && value.back() == value.front()));
    const QByteArray bytes = value.toUtf8();
    return wrap ? '"' + bytes + '"' : bytes;
}

} // namespace

bool isValidUtf8(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int extra;
        char32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (n - i <= extra)
            return false;
        for (int k = 1; k <= extra; ++k) {
            const unsigned char t = p[i + k];
            if ((t & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        if ((extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

QString fromWindows1252(QByteArrayView bytes)
{
    QString out(bytes.size(), Qt::Uninitialized);
    QChar *d = out.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        d[i] = (c >= 0x80 && c < 0xA0) ? QChar(kCp1252High[c - 0x80]) : QChar(c);
    }
    return out;
}

QString decodeIniText(QByteArrayView bytes)
{
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    if (isValidUtf8(bytes)) {
        // A U+FEFF that starts a name or value is text: only the file's own mark at byte 0
        // is not, and the parser takes that off before any line is decoded.
        QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::ConvertInitialBom |
                                                      QStringConverter::Flag::Stateless);
        return utf8.decode(bytes);
    }
    return fromWindows1252(bytes);
}

void IniDocument::classify(QByteArrayView bytes, Line &l)
{
    qint32 e = qint32(bytes.size());
    if (e > 0 && bytes[e - 1] == '\n')
        --e;
    qint32 b = 0;
    while (b < e && isBlank(bytes[b]))
        ++b;
    while (e > b && isBlank(bytes[e - 1]))
        --e;
    if (b == e) {
        l.kind = Kind::Blank;
        return;
    }
    const QByteArrayView body = bytes.sliced(b, e - b);
    if (body[0] == '[') {
        const qint32 close = qint32(body.lastIndexOf(']'));
        if (close > 0) {
            qint32 nb = b + 1, ne = b + close;
            while (nb < ne && isBlank(bytes[nb]))
                ++nb;
            while (ne > nb && isBlank(bytes[ne - 1]))
                --ne;
            l.kind = Kind::Header;
            l.nameOff = nb;
            l.nameLen = ne - nb;
            return;
        }
    } else if (body[0] == ';') {
        l.kind = Kind::Comment;
        return;
    }
    const qint32 eq = qint32(body.indexOf('='));
    if (eq < 0) {
        l.kind = Kind::KeyWithoutValue;
        l.nameOff = b;
        l.nameLen = e - b;
        return;
    }
    l.kind = Kind::Key;
    qint32 ne = b + eq;
    while (ne > b && isBlank(bytes[ne - 1]))
        --ne;
    l.nameOff = b;
    l.nameLen = ne - b;
    qint32 vb = b + eq + 1;
    while (vb < e && isBlank(bytes[vb]))
        ++vb;
    qint32 ve = e;
    if (ve - vb >= 2 && (bytes[vb] == '"' || bytes[vb] == '\'') && bytes[ve - 1] == bytes[vb]) {
        ++vb;
        --ve;
    }
    l.valueOff = vb;
    l.valueLen = ve - vb;
}

IniDocument::IniDocument(const QByteArray &bytes) : m_raw(bytes)
{
    const char *data = m_raw.constData();
    const qsizetype n = m_raw.size();
    qsizetype pos = 0;
    m_lines.reserve(size_t(n / 16 + 1));
    if (n >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0) {
        Line bom;
        bom.len = 3;
        bom.kind = Kind::Bom;
        m_lines.push_back(bom);
        pos = 3;
    }
    m_blocks.emplace_back();
    bool eolKnown = false;
    while (pos < n) {
        const void *nl = std::memchr(data + pos, '\n', size_t(n - pos));
        const qsizetype end = nl ? static_cast<const char *>(nl) - data + 1 : n;
        Line l;
        l.off = pos;
        l.len = qint32(end - pos);
        if (!eolKnown && nl) {
            eolKnown = true;
            if (end - pos >= 2 && data[end - 2] == '\r')
                m_eol = "\r\n";
        }
        classify(QByteArrayView(data + pos, l.len), l);
        const qint32 index = qint32(m_lines.size());
        m_lines.push_back(l);
        if (l.kind == Kind::Header) {
            m_blocks.back().end = index;
            Block blk;
            blk.header = index;
            blk.begin = blk.end = index + 1;
            m_blocks.push_back(std::move(blk));
            const QByteArrayView name(data + pos + l.nameOff, l.nameLen);
            // Names that are already folded (numbers, lower case) are keyed by the file's own
            // bytes, which m_raw keeps unchanged for as long as any copy of it lives.
            const QByteArray folded =
                isFolded(name) ? QByteArray::fromRawData(name.data(), name.size()) : foldName(name);
            if (!m_sections.contains(folded))
                m_sections.insert(folded, int(m_blocks.size() - 1));
        }
        pos = end;
    }
    m_blocks.back().end = qint32(m_lines.size());
}

int IniDocument::findKey(const Block &b, const QByteArray &foldedKey) const
{
    const std::span<const Line> body = bodyOf(b);
    for (size_t i = 0; i < body.size(); ++i) {
        const Line &l = body[i];
        if (l.kind != Kind::Key && l.kind != Kind::KeyWithoutValue)
            continue;
        if (nameMatches(bytesOf(l).sliced(l.nameOff, l.nameLen), foldedKey))
            return int(i);
    }
    return -1;
}

std::optional<QString> IniDocument::value(const QString &section, const QString &key) const
{
    char sectionBuf[128], keyBuf[128];
    const auto it = m_sections.constFind(foldName(section, sectionBuf));
    if (it == m_sections.cend())
        return std::nullopt;
    const Block &b = m_blocks[size_t(*it)];
    const int i = findKey(b, foldName(key, keyBuf));
    if (i < 0)
        return std::nullopt;
    const Line &l = bodyOf(b)[size_t(i)];
    if (l.kind != Kind::Key)
        return std::nullopt;
    return decodeIniText(bytesOf(l).sliced(l.valueOff, l.valueLen));
}

IniDocument::Line IniDocument::ownedLine(QByteArray bytes)
{
    Line l;
    l.owned = qint32(m_owned.size());
    l.len = qint32(bytes.size());
    classify(bytes, l);
    m_ownedBytes += bytes.size();
    m_owned.push_back(std::move(bytes));
    return l;
}

void IniDocument::terminate(Line &l)
{
    if (l.kind == Kind::Bom)
        return;
    const QByteArrayView b = bytesOf(l);
    if (!b.isEmpty() && b.back() == '\n')
        return;
    l = ownedLine(b.toByteArray() + m_eol);
}

IniDocument::Line *IniDocument::lastLine()
{
    for (auto it = m_blocks.rbegin(); it != m_blocks.rend(); ++it) {
        const std::span<Line> body = bodyOf(*it);
        if (!body.empty())
            return &body.back();
        if (it->header >= 0)
            return &m_lines[size_t(it->header)];
    }
    return nullptr;
}

bool IniDocument::setValue(const QString &section, const QString &key, const QString &value,
                           QString *error)
{
    auto refuse = [error](const char *why) {
        if (error)
            *error = QString::fromLatin1(why);
        return false;
    };
    auto hasBreak = [](const QString &t) {
        return t.contains(QLatin1Char('\n')) || t.contains(QLatin1Char('\r'));
    };
    if (hasBreak(section) || hasBreak(key) || hasBreak(value))
        return refuse("A name or value holds a line break");
    if (hasLoneSurrogate(section) || hasLoneSurrogate(key) || hasLoneSurrogate(value))
        return refuse("A name or value holds an unpaired UTF-16 surrogate, which has no UTF-8 "
                      "form");
    const QString k = trimmedName(key);
    if (k.isEmpty() || k.contains(QLatin1Char('=')) || k.startsWith(QLatin1Char(';')) ||
        k.startsWith(QLatin1Char('[')))
        return refuse("Invalid key name");

    const QByteArray foldedSection = foldName(section);
    const QByteArray foldedKey = foldName(key);
    QByteArray lineBytes = key.toUtf8() + '=' + encodeValue(value);

    const auto it = m_sections.constFind(foldedSection);
    if (it != m_sections.cend()) {
        const int blockIndex = *it;
        const int i = findKey(m_blocks[size_t(blockIndex)], foldedKey);
        if (i >= 0) {
            Line &old = bodyOf(m_blocks[size_t(blockIndex)])[size_t(i)];
            const QByteArrayView oldBytes = bytesOf(old);
            if (oldBytes.endsWith("\r\n"))
                lineBytes += "\r\n";
            else if (oldBytes.endsWith('\n'))
                lineBytes += '\n';
            // ownedLine may grow m_owned, which oldBytes can point into: build it first.
            const Line replacement = ownedLine(std::move(lineBytes));
            old = replacement;
            return true;
        }
        Block &b = m_blocks[size_t(blockIndex)];
        if (!b.detached) {
            b.body.assign(m_lines.begin() + b.begin, m_lines.begin() + b.end);
            b.detached = true;
        }
        // After the section's last key line, so comments and blank lines that lead into the
        // next section stay with it.
        size_t at = b.body.size();
        while (at > 0 &&
               (b.body[at - 1].kind == Kind::Blank || b.body[at - 1].kind == Kind::Comment))
            --at;
        terminate(at == 0 ? m_lines[size_t(b.header)] : b.body[at - 1]);
        b.body.insert(b.body.begin() + qsizetype(at), ownedLine(lineBytes + m_eol));
        return true;
    }

    if (Line *last = lastLine())
        terminate(*last);
    Block blk;
    blk.header = qint32(m_lines.size());
    m_lines.push_back(ownedLine('[' + section.toUtf8() + ']' + m_eol));
    blk.detached = true;
    blk.body.push_back(ownedLine(lineBytes + m_eol));
    m_blocks.push_back(std::move(blk));
    m_sections.insert(foldedSection, int(m_blocks.size() - 1));
    return true;
}

QByteArray IniDocument::toBytes() const
{
    qsizetype total = 0;
    for (const Block &b : m_blocks) {
        if (b.header >= 0)
            total += m_lines[size_t(b.header)].len;
        for (const Line &l : bodyOf(b))
            total += l.len;
    }
    QByteArray out;
    out.reserve(total);
    for (const Block &b : m_blocks) {
        if (b.header >= 0)
            out.append(bytesOf(m_lines[size_t(b.header)]));
        for (const Line &l : bodyOf(b))
            out.append(bytesOf(l));
    }
    return out;
}

} // namespace platform
