#include "entries/ini/inifile.h"

#include "platform/memory.h"

#include <QStringDecoder>
#include <QVarLengthArray>

#include <algorithm>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <utility>

namespace ini {

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

/// @p raw folded. ASCII names up to the buffer's size, which is every name this program
/// uses, fold into @p buf without allocating; any other into @p heap. The result points
/// into one of the two.
template <size_t N> QByteArrayView foldName(QByteArrayView raw, char (&buf)[N], QByteArray &heap)
{
    if (raw.size() <= qsizetype(N) && isAscii(raw)) {
        for (qsizetype i = 0; i < raw.size(); ++i) {
            const char c = raw[i];
            buf[i] = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
        }
        return QByteArrayView(buf, raw.size());
    }
    heap = foldName(raw);
    return heap;
}

/// The bounds of @p name without the blanks around it.
std::pair<qsizetype, qsizetype> trimmedBounds(QStringView name)
{
    auto blank = [&](qsizetype i) {
        return name[i].unicode() < 0x80 && isBlank(char(name[i].unicode()));
    };
    qsizetype b = 0, e = name.size();
    while (b < e && blank(b))
        ++b;
    while (e > b && blank(e - 1))
        --e;
    return {b, e};
}

/// A caller's name, without the blanks around it, folded for lookups as foldName() above.
template <size_t N> QByteArrayView foldName(const QString &name, char (&buf)[N], QByteArray &heap)
{
    const auto [b, e] = trimmedBounds(name);
    if (e - b <= qsizetype(N)) {
        // constData(), not utf16(): that copies a literal to give it a closing NUL.
        const auto *s = reinterpret_cast<const char16_t *>(name.constData());
        qsizetype i = b;
        for (; i < e && s[i] < 0x80; ++i)
            buf[i - b] = (s[i] >= u'A' && s[i] <= u'Z') ? char(s[i] - u'A' + 'a') : char(s[i]);
        if (i == e)
            return QByteArrayView(buf, e - b);
    }
    heap = name.mid(b, e - b).toCaseFolded().toUtf8();
    return heap;
}

/// The hash of a folded name in the section index.
quint32 nameHash(QByteArrayView folded)
{
    quint32 h = 2166136261u;
    for (char c : folded)
        h = (h ^ quint8(c)) * 16777619u;
    // FNV's low bits, which pick the place, alone follow the last byte too closely.
    h ^= h >> 16;
    h *= 0x85ebca6bu;
    h ^= h >> 13;
    return h;
}

bool nameMatches(QByteArrayView raw, QByteArrayView folded)
{
    // An ASCII byte folds to one byte in its place, so a difference before the first other
    // byte settles it; a name with other bytes is folded whole.
    if (raw.size() == folded.size()) {
        for (qsizetype i = 0; i < raw.size(); ++i) {
            char c = raw[i];
            if (static_cast<unsigned char>(c) >= 0x80)
                return foldName(raw) == folded;
            if (c >= 'A' && c <= 'Z')
                c = char(c - 'A' + 'a');
            if (c != folded[i])
                return false;
        }
        return true;
    }
    return !isAscii(raw) && foldName(raw) == folded;
}

/// The number of line feeds in @p bytes.
qsizetype countLineFeeds(QByteArrayView bytes)
{
    const char *p = bytes.data();
    const qsizetype n = bytes.size();
    qsizetype count = 0, i = 0;
#ifdef __SSE2__
    const __m128i lf = _mm_set1_epi8('\n');
    for (; i + 16 <= n; i += 16) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
        for (unsigned m = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(c, lf))); m; m &= m - 1)
            ++count;
    }
#endif
    for (; i < n; ++i)
        count += p[i] == '\n';
    return count;
}

enum TextFlaw
{
    LineBreak = 1,
    LoneSurrogate = 2, ///< a UTF-16 surrogate without its partner: UTF-8 has no bytes for it
};

int flawsOf(QStringView t)
{
    int flaws = 0;
    const qsizetype n = t.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = t[i];
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            flaws |= LineBreak;
        else if (c.isHighSurrogate() && i + 1 < n && t[i + 1].isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            flaws |= LoneSurrogate;
    }
    return flaws;
}

using LineBuffer = QVarLengthArray<char, 256>;

void appendUtf8(LineBuffer &out, QStringView t)
{
    const qsizetype at = out.size();
    out.resize(at + t.size());
    char *d = out.data() + at;
    for (qsizetype i = 0; i < t.size(); ++i) {
        const char16_t c = t[i].unicode();
        if (c >= 0x80) {
            out.resize(at);
            const QByteArray bytes = t.toUtf8();
            out.append(bytes.constData(), bytes.size());
            return;
        }
        d[i] = char(c);
    }
}

/// Appends the bytes after '=' that read back as @p value. The reader trims the blanks
/// around a value and drops one pair of matching quotes, so a value those rules would change
/// is wrapped in double quotes, which the reader then takes off again; any other value is
/// written as it stands, as files have always held it.
void appendValue(LineBuffer &out, const QString &value)
{
    const qsizetype n = value.size();
    const auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    const auto quote = [](QChar c) { return c == QLatin1Char('"') || c == QLatin1Char('\''); };
    const bool wrap = n > 0 && (blank(value.front()) || blank(value.back()) ||
                                (n >= 2 && quote(value.front()) && value.back() == value.front()));
    if (wrap)
        out.append('"');
    appendUtf8(out, value);
    if (wrap)
        out.append('"');
}

// Room of a chunk of written lines.
constexpr qsizetype kChunkSize = 64 * 1024;

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

namespace {

// A U+FEFF that starts a name or value is text: only the file's own mark at byte 0 is not,
// and the parser takes that off before any line is decoded.
constexpr auto kUtf8Flags =
    QStringConverter::Flag::ConvertInitialBom | QStringConverter::Flag::Stateless;

/// Writes @p bytes, decoded as decodeIniText() decodes them, to @p out, which has room for
/// as many characters as there are bytes. Returns the number of characters written.
qsizetype decodeIniTextInto(char16_t *out, QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype n = bytes.size();
    unsigned char high = 0;
    qsizetype i = 0;
#ifdef __SSE2__
    // Sixteen bytes at a time: widened to characters, and their high bits gathered.
    const __m128i zero = _mm_setzero_si128();
    __m128i any = zero;
    for (; i + 16 <= n; i += 16) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
        any = _mm_or_si128(any, c);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), _mm_unpacklo_epi8(c, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i + 8), _mm_unpackhi_epi8(c, zero));
    }
    if (_mm_movemask_epi8(any) != 0)
        high = 0x80;
#endif
    for (; i < n; ++i) {
        high |= p[i];
        out[i] = p[i];
    }
    if (high < 0x80)
        return n;
    if (isValidUtf8(bytes)) {
        QStringDecoder utf8(QStringDecoder::Utf8, kUtf8Flags);
        QChar *begin = reinterpret_cast<QChar *>(out);
        return utf8.appendToBuffer(begin, bytes) - begin;
    }
    for (i = 0; i < n; ++i) {
        if (p[i] >= 0x80 && p[i] < 0xA0)
            out[i] = kCp1252High[p[i] - 0x80];
    }
    return n;
}

} // namespace

QString decodeIniText(QByteArrayView bytes)
{
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    if (isValidUtf8(bytes)) {
        QStringDecoder utf8(QStringDecoder::Utf8, kUtf8Flags);
        return utf8.decode(bytes);
    }
    return fromWindows1252(bytes);
}

IniDocument::Parts IniDocument::parse(QByteArrayView bytes)
{
    Parts p;
    qint32 e = qint32(bytes.size());
    if (e > 0 && bytes[e - 1] == '\n')
        --e;
    qint32 b = 0;
    while (b < e && isBlank(bytes[b]))
        ++b;
    while (e > b && isBlank(bytes[e - 1]))
        --e;
    if (b == e)
        return p;
    const QByteArrayView body = bytes.sliced(b, e - b);
    if (body[0] == '[') {
        const qint32 close = qint32(body.lastIndexOf(']'));
        if (close > 0) {
            qint32 nb = b + 1, ne = b + close;
            while (nb < ne && isBlank(bytes[nb]))
                ++nb;
            while (ne > nb && isBlank(bytes[ne - 1]))
                --ne;
            p.kind = Kind::Header;
            p.nameOff = nb;
            p.nameLen = ne - nb;
            return p;
        }
    } else if (body[0] == ';') {
        p.kind = Kind::Comment;
        return p;
    }
    const qint32 eq = qint32(body.indexOf('='));
    if (eq < 0) {
        p.kind = Kind::KeyWithoutValue;
        p.nameOff = b;
        p.nameLen = e - b;
        return p;
    }
    p.kind = Kind::Key;
    qint32 ne = b + eq;
    while (ne > b && isBlank(bytes[ne - 1]))
        --ne;
    p.nameOff = b;
    p.nameLen = ne - b;
    qint32 vb = b + eq + 1;
    while (vb < e && isBlank(bytes[vb]))
        ++vb;
    qint32 ve = e;
    if (ve - vb >= 2 && (bytes[vb] == '"' || bytes[vb] == '\'') && bytes[ve - 1] == bytes[vb]) {
        ++vb;
        --ve;
    }
    p.valueOff = vb;
    p.valueLen = ve - vb;
    return p;
}

IniDocument::Parts IniDocument::classify(QByteArrayView bytes, Line &l)
{
    const Parts p = parse(bytes);
    l.kind = p.kind;
    l.nameOff = p.nameOff;
    l.nameLen = p.nameLen;
    l.asciiName = isAscii(bytes.sliced(p.nameOff, p.nameLen));
    return p;
}

bool IniDocument::nameIs(const Line &l, QByteArrayView folded) const
{
    // An ASCII name folds to as many bytes: one of another length is another name.
    if (l.asciiName && l.nameLen != folded.size())
        return false;
    return nameMatches(nameOf(l), folded);
}

QByteArrayView IniDocument::valueBytesOf(const Line &l) const
{
    const QByteArrayView bytes = bytesOf(l);
    const Parts p = parse(bytes);
    return bytes.sliced(p.valueOff, p.valueLen);
}

IniDocument::IniDocument(QByteArrayView bytes)
    : IniDocument([bytes] {
          IniBytes copy;
          if (!bytes.isEmpty()) {
              copy.resize(size_t(bytes.size()));
              std::memcpy(copy.data(), bytes.data(), copy.size());
          }
          return copy;
      }())
{
}

IniDocument::IniDocument(IniBytes &&bytes) : m_raw(std::move(bytes))
{
    // Every table is made at its final size, so that nothing is copied as it grows: for a
    // large file, most of the first read is spent mapping fresh memory.
    const Split split = splitLines();
    indexBlocks(split.headers);
    decodeValues(split.valueRoom);
}

IniDocument::Split IniDocument::splitLines()
{
    const char *data = m_raw.data();
    const qsizetype n = qsizetype(m_raw.size());
    qsizetype pos = 0;
    if (n >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0)
        pos = 3;
    const size_t lines = size_t(countLineFeeds(QByteArrayView(data + pos, n - pos))) + 2;
    m_lines.reserve(lines);
    if (pos == 3) {
        Line bom;
        bom.len = 3;
        bom.kind = Kind::Bom;
        m_lines.push_back(bom);
    }
    Split split;
    bool eolKnown = false;
    while (pos < n) {
        const void *nl = std::memchr(data + pos, '\n', size_t(n - pos));
        const qsizetype end = nl ? static_cast<const char *>(nl) - data + 1 : n;
        Line l;
        l.off = quint32(pos);
        l.len = qint32(end - pos);
        if (!eolKnown && nl) {
            eolKnown = true;
            if (end - pos >= 2 && data[end - 2] == '\r')
                m_eol = "\r\n";
        }
        const Parts p = classify(QByteArrayView(data + pos, l.len), l);
        if (p.kind == Kind::Header) {
            ++split.headers;
        } else if (p.kind == Kind::Key) {
            // The value's bytes until decodeValues() puts its text in their place.
            l.ref = p.valueOff;
            l.textLen = p.valueLen;
            if (p.valueLen > 0)
                split.valueRoom += p.valueLen + 1;
        }
        m_lines.push_back(l);
        pos = end;
    }
    return split;
}

void IniDocument::indexBlocks(qsizetype headers)
{
    m_blocks.reserve(size_t(headers) + 1);
    // At most half full, as indexSection() keeps it.
    size_t places = 16;
    while (places < size_t(headers) * 2)
        places *= 2;
    m_index.resize(places);

    m_blocks.emplace_back();
    const char *data = m_raw.data();
    for (size_t index = 0; index < m_lines.size(); ++index) {
        const Line &l = m_lines[index];
        if (l.kind != Kind::Header)
            continue;
        m_blocks.back().end = qint32(index);
        Block blk;
        blk.header = qint32(index);
        blk.begin = blk.end = qint32(index) + 1;
        m_blocks.push_back(blk);
        char buf[128];
        QByteArray heap;
        const QByteArrayView folded =
            foldName(QByteArrayView(data + l.off + l.nameOff, l.nameLen), buf, heap);
        const quint32 hash = nameHash(folded);
        if (findSection(folded, hash) < 0)
            indexSection(int(m_blocks.size() - 1), hash);
    }
    m_blocks.back().end = qint32(m_lines.size());
}

void IniDocument::decodeValues(qsizetype room)
{
    char16_t *data = nullptr, *to = nullptr;
    if (room > 0) {
        // The values of a large file start on a huge page boundary, with the room for that
        // added, so that all of them but the last part can be in huge pages. The room before
        // them is never touched, so it takes no memory.
        constexpr qsizetype kHuge = qsizetype(2) << 20;
        const bool large = room * qsizetype(sizeof(char16_t)) >= 2 * kHuge;
        m_values =
            QString(room + (large ? kHuge / qsizetype(sizeof(char16_t)) : 0), Qt::Uninitialized);
        data = to = reinterpret_cast<char16_t *>(m_values.data());
        if (large)
            to += (kHuge - qsizetype(reinterpret_cast<quintptr>(data) % quintptr(kHuge))) % kHuge /
                  qsizetype(sizeof(char16_t));
        adviseHugePages(to, size_t(room) * sizeof(char16_t));
    }
    // Empty values have no text: they read as the empty value of a line, as written ones do.
    for (Line &l : m_lines) {
        if (l.kind != Kind::Key)
            continue;
        // splitLines() left the value's bytes here.
        const QByteArrayView value(m_raw.data() + l.off + l.ref, l.textLen);
        if (value.isEmpty()) {
            l.ref = 0;
            l.textLen = -1;
            continue;
        }
        l.ref = qint32(to - data);
        l.textLen = qint32(decodeIniTextInto(to, value));
        to += l.textLen;
        *to++ = u'\0';
    }
}

int IniDocument::findSection(QByteArrayView folded, quint32 hash) const
{
    if (m_index.empty())
        return -1;
    const size_t mask = m_index.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot &slot = m_index[i];
        if (slot.block < 0)
            return -1;
        if (slot.hash == hash &&
            nameIs(m_lines[size_t(m_blocks[size_t(slot.block)].header)], folded))
            return slot.block;
    }
}

int IniDocument::findSection(const QString &section) const
{
    char buf[128];
    QByteArray heap;
    const QByteArrayView folded = foldName(section, buf, heap);
    if (folded.size() == m_lastNameLen && size_t(m_lastBlock) < m_blocks.size() &&
        std::memcmp(folded.data(), m_lastName, size_t(folded.size())) == 0)
        return m_lastBlock;
    const int block = findSection(folded, nameHash(folded));
    // Only a section found is remembered: a section added later gets a block of its own,
    // but the first block of a name stays the one found.
    if (block >= 0 && folded.size() <= qsizetype(sizeof m_lastName)) {
        std::memcpy(m_lastName, folded.data(), size_t(folded.size()));
        m_lastNameLen = qint8(folded.size());
        m_lastBlock = block;
    }
    return block;
}

void IniDocument::indexSection(int block, quint32 hash)
{
    auto place = [this](Slot slot) {
        const size_t mask = m_index.size() - 1;
        size_t i = slot.hash & mask;
        while (m_index[i].block >= 0)
            i = (i + 1) & mask;
        m_index[i] = slot;
    };
    // At most half full, so that a search for a missing name ends soon.
    if (size_t(m_indexed + 1) * 2 > m_index.size()) {
        std::vector<Slot> old(std::max<size_t>(16, m_index.size() * 2));
        old.swap(m_index);
        for (const Slot &slot : old) {
            if (slot.block >= 0)
                place(slot);
        }
    }
    place({hash, block});
    ++m_indexed;
}

int IniDocument::findKey(const Block &b, QByteArrayView foldedKey) const
{
    const std::span<const Line> body = bodyOf(b);
    for (size_t i = 0; i < body.size(); ++i) {
        const Line &l = body[i];
        if (l.kind != Kind::Key && l.kind != Kind::KeyWithoutValue)
            continue;
        if (nameIs(l, foldedKey))
            return int(i);
    }
    return -1;
}

std::optional<QString> IniDocument::value(const QString &section, const QString &key) const
{
    const int block = findSection(section);
    if (block < 0)
        return std::nullopt;
    const Block &b = m_blocks[size_t(block)];
    char keyBuf[128];
    QByteArray keyHeap;
    const int i = findKey(b, foldName(key, keyBuf, keyHeap));
    if (i < 0)
        return std::nullopt;
    const Line &l = bodyOf(b)[size_t(i)];
    if (l.kind != Kind::Key)
        return std::nullopt;
    if (l.owned)
        return decodeIniText(valueBytesOf(l));
    if (l.textLen <= 0)
        return QString::fromLatin1(QByteArrayView("", 0)); // empty, not null, as decoded
    // A string of its own that shares the decoded values' block: one more reference to it,
    // pointing at this value. Like any shared string it is copied before it is changed.
    QString::DataPointer text = m_values.data_ptr();
    text.setBegin(text.data() + l.ref);
    text.size = l.textLen;
    return QString(std::move(text));
}

std::vector<IniDocument::Line> &IniDocument::detach(Block &b)
{
    if (b.body < 0) {
        b.body = qint32(m_bodies.size());
        m_bodies.emplace_back(m_lines.begin() + b.begin, m_lines.begin() + b.end);
    }
    return m_bodies[size_t(b.body)];
}

IniDocument::Line IniDocument::ownedLine(QByteArrayView bytes)
{
    if (m_chunks.empty() || m_chunks.back().capacity() - m_chunks.back().size() < bytes.size()) {
        QByteArray chunk;
        chunk.reserve(qMax(bytes.size(), kChunkSize));
        m_chunks.push_back(std::move(chunk));
    }
    QByteArray &chunk = m_chunks.back();
    Line l;
    l.owned = true;
    l.ref = qint32(m_chunks.size() - 1);
    l.off = quint32(chunk.size());
    l.len = qint32(bytes.size());
    chunk.append(bytes);
    classify(QByteArrayView(chunk.constData() + l.off, l.len), l);
    m_ownedBytes += bytes.size();
    return l;
}

void IniDocument::terminate(Line &l)
{
    if (l.kind == Kind::Bom)
        return;
    const QByteArrayView b = bytesOf(l);
    if (!b.isEmpty() && b.back() == '\n')
        return;
    const bool written = l.written;
    l = ownedLine(b.toByteArray() + m_eol);
    l.written = written;
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
    const int flaws = flawsOf(section) | flawsOf(key) | flawsOf(value);
    if (flaws & LineBreak)
        return refuse("A name or value holds a line break");
    if (flaws & LoneSurrogate)
        return refuse("A name or value holds an unpaired UTF-16 surrogate, which has no UTF-8 "
                      "form");
    const auto [kb, ke] = trimmedBounds(key);
    const QStringView k = QStringView(key).sliced(kb, ke - kb);
    if (k.isEmpty() || k.contains(QLatin1Char('=')) || k.startsWith(QLatin1Char(';')) ||
        k.startsWith(QLatin1Char('[')))
        return refuse("Invalid key name");

    char sectionBuf[128], keyBuf[128];
    QByteArray sectionHeap, keyHeap;
    const QByteArrayView foldedSection = foldName(section, sectionBuf, sectionHeap);
    const QByteArrayView foldedKey = foldName(key, keyBuf, keyHeap);
    const quint32 sectionHash = nameHash(foldedSection);
    LineBuffer line;
    appendUtf8(line, key);
    line.append('=');
    appendValue(line, value);
    auto keyLine = [&] {
        Line l = ownedLine(QByteArrayView(line.constData(), line.size()));
        l.written = true;
        return l;
    };

    const int blockIndex = findSection(foldedSection, sectionHash);
    if (blockIndex >= 0) {
        Block &b = m_blocks[size_t(blockIndex)];
        const int i = findKey(b, foldedKey);
        if (i >= 0) {
            Line &old = bodyOf(b)[size_t(i)];
            const QByteArrayView oldBytes = bytesOf(old);
            if (oldBytes.endsWith("\r\n"))
                line.append("\r\n", 2);
            else if (oldBytes.endsWith('\n'))
                line.append('\n');
            old = keyLine();
            return true;
        }
        std::vector<Line> &body = detach(b);
        // After the section's last key line, so comments and blank lines that lead into the
        // next section stay with it.
        size_t at = body.size();
        while (at > 0 && (body[at - 1].kind == Kind::Blank || body[at - 1].kind == Kind::Comment))
            --at;
        terminate(at == 0 ? m_lines[size_t(b.header)] : body[at - 1]);
        line.append(m_eol.constData(), m_eol.size());
        body.insert(body.begin() + qsizetype(at), keyLine());
        return true;
    }

    if (Line *last = lastLine())
        terminate(*last);
    Block blk;
    blk.header = qint32(m_lines.size());
    m_lines.push_back(ownedLine('[' + section.toUtf8() + ']' + m_eol));
    line.append(m_eol.constData(), m_eol.size());
    detach(blk).push_back(keyLine());
    m_blocks.push_back(blk);
    indexSection(int(m_blocks.size() - 1), sectionHash);
    return true;
}

void IniDocument::forgetWrites()
{
    for (Line &l : m_lines)
        l.written = false;
    for (std::vector<Line> &body : m_bodies) {
        for (Line &l : body)
            l.written = false;
    }
}

void IniDocument::applyWritesOf(const IniDocument &other)
{
    for (const Block &b : other.m_blocks) {
        if (b.header < 0)
            continue;
        QString section;
        bool named = false;
        for (const Line &l : other.bodyOf(b)) {
            if (!l.written || l.kind != Kind::Key)
                continue;
            if (!named) {
                section = decodeIniText(other.nameOf(other.m_lines[size_t(b.header)]));
                named = true;
            }
            setValue(section, decodeIniText(other.nameOf(l)), decodeIniText(other.valueBytesOf(l)));
        }
    }
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
    QByteArray out(total, Qt::Uninitialized);
    char *to = out.data();
    // Lines that follow each other in the file as read are copied in one go.
    const char *run = nullptr;
    qsizetype runLen = 0;
    auto add = [&](const Line &l) {
        const QByteArrayView bytes = bytesOf(l);
        if (run && run + runLen == bytes.data()) {
            runLen += bytes.size();
            return;
        }
        if (runLen)
            to = static_cast<char *>(std::memcpy(to, run, size_t(runLen))) + runLen;
        run = bytes.data();
        runLen = bytes.size();
    };
    for (const Block &b : m_blocks) {
        if (b.header >= 0)
            add(m_lines[size_t(b.header)]);
        for (const Line &l : bodyOf(b))
            add(l);
    }
    if (runLen)
        std::memcpy(to, run, size_t(runLen));
    return out;
}

} // namespace ini
