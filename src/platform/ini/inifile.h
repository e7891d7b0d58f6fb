#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>
#include <span>
#include <vector>

namespace platform {

/// True when @p bytes are well-formed UTF-8 (no overlong forms, surrogates or code points
/// above U+10FFFF).
bool isValidUtf8(QByteArrayView bytes);
/// Windows-1252 to text; the five bytes that code page leaves undefined map to the C1
/// control of the same number, so every byte reads as something.
QString fromWindows1252(QByteArrayView bytes);
/// Text of a file that should be UTF-8 but may have been written on a Windows machine:
/// valid UTF-8 decodes as such (a leading U+FEFF included), anything else as Windows-1252.
QString decodeIniText(QByteArrayView bytes);

/// The bytes of one INI file, parsed for lookups and edited line by line.
///
/// The document keeps the file's own bytes and changes only the lines a write touches, so
/// toBytes() returns every untouched byte exactly as it was read (comments, unknown
/// sections and keys, blank lines, line ends, a byte-order mark, invalid UTF-8).
///
/// Lines that belong to no section (before the first header) are kept but never searched.
class IniDocument
{
public:
    IniDocument() = default;
    /// Parses @p bytes, which the document shares and never changes (they must own their
    /// data, not come from QByteArray::fromRawData).
    explicit IniDocument(const QByteArray &bytes);

    /// The value of the first @p key in the first @p section, or nothing when the section or
    /// key is missing or the key's line has no '='. Names match ignoring case and the spaces
    /// around them.
    std::optional<QString> value(const QString &section, const QString &key) const;

    /// Stores @p value: replaces the first matching key line in place (keeping its line
    /// end), or adds the key after the last key line of the first matching section, or adds
    /// the section at the end. A value with a blank (space, tab) at either end, or that starts
    /// and ends with the same quote (' or "), is written inside a pair of double quotes so that
    /// it reads back as given; any other value is written as it stands. Refuses, unchanged,
    /// names or values that could not be read back as written (line breaks, an unpaired
    /// UTF-16 surrogate, a key with '=' or starting with ';' or '[', an empty key); @p error
    /// then says why.
    bool setValue(const QString &section, const QString &key, const QString &value,
                  QString *error = nullptr);

    QByteArray toBytes() const;
    /// True once the lines written since parsing outweigh the file as read: replaced lines
    /// are not freed one by one, so a long-lived document should then be parsed afresh from
    /// toBytes().
    bool isFragmented() const { return m_ownedBytes > 65536 && m_ownedBytes > m_raw.size(); }
    /// "\r\n" when the file's first line ends so, else "\n": the line end of added lines.
    QByteArray lineEnd() const { return m_eol; }

    /// Forgets which values setValue() stored, so that applyWritesOf() then carries only
    /// the values stored from here on.
    void forgetWrites();
    /// Stores into this document every value setValue() stored in @p other since its
    /// forgetWrites() and still held there, in the order of @p other's lines.
    void applyWritesOf(const IniDocument &other);

private:
    enum class Kind : quint8
    {
        Blank,
        Comment,
        Header,
        Key,
        KeyWithoutValue,
        Bom
    };
    struct Line
    {
        quint32 off = 0;   ///< into m_raw, or into m_chunks[owned] when owned >= 0
        qint32 len = 0;    ///< with the line end
        qint32 owned = -1; ///< the chunk that holds the bytes of a line this document wrote
        Kind kind = Kind::Blank;
        bool written = false; ///< a value setValue() stored
        // Parsed parts, as offsets from the line's first byte.
        qint32 nameOff = 0, nameLen = 0;
        qint32 valueOff = 0, valueLen = 0;
    };
    /// A section: its header and body lines. The body is a range of m_lines until a key is
    /// added to it; it then moves into its own vector so that adding stays cheap however
    /// many sections follow.
    struct Block
    {
        qint32 header = -1; ///< index in m_lines; -1 for the lines before the first header
        qint32 begin = 0, end = 0;
        bool detached = false;
        std::vector<Line> body;
    };
    /// One place of the section index: the hash of a folded section name and its block.
    struct Slot
    {
        quint32 hash = 0;
        qint32 block = -1; ///< -1 for a free place
    };

    QByteArrayView bytesOf(const Line &l) const
    {
        return l.owned >= 0
                   ? QByteArrayView(m_chunks[size_t(l.owned)].constData() + l.off, l.len)
                   : QByteArrayView(m_raw.constData() + l.off, l.len);
    }
    QByteArrayView nameOf(const Line &l) const { return bytesOf(l).sliced(l.nameOff, l.nameLen); }
    std::span<const Line> bodyOf(const Block &b) const
    {
        return b.detached
                   ? std::span<const Line>(b.body)
                   : std::span<const Line>(m_lines.data() + b.begin, size_t(b.end - b.begin));
    }
    std::span<Line> bodyOf(Block &b)
    {
        return b.detached ? std::span<Line>(b.body)
                          : std::span<Line>(m_lines.data() + b.begin, size_t(b.end - b.begin));
    }
    static void classify(QByteArrayView bytes, Line &l);
    /// A line of @p bytes, copied into the chunks (they must not point into them).
    Line ownedLine(QByteArrayView bytes);
    int findKey(const Block &b, QByteArrayView foldedKey) const;
    void terminate(Line &l);
    Line *lastLine();
    int findSection(QByteArrayView folded, quint32 hash) const;
    void indexSection(int block, quint32 hash);

    QByteArray m_raw;
    QByteArray m_eol = "\n";
    std::vector<Line> m_lines; ///< every line of the file as read, in order
    /// Bytes of the lines written since, back to back; a chunk is never grown past the room
    /// it was made with, so the lines in it stay where they are.
    std::vector<QByteArray> m_chunks;
    qsizetype m_ownedBytes = 0;
    std::vector<Block> m_blocks; ///< block 0 holds the lines before the first header
    /// First block of each folded section name, open addressing; a power of two in size.
    std::vector<Slot> m_index;
    qsizetype m_indexed = 0;
};

} // namespace platform
