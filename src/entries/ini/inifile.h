#pragma once

#include "platform/memory.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>
#include <span>
#include <vector>

namespace ini {

using platform::LargeAllocator;
using platform::adviseHugePages;

/// True when @p bytes are well-formed UTF-8 (no overlong forms, surrogates or code points
/// above U+10FFFF).
bool isValidUtf8(QByteArrayView bytes);
/// Windows-1252 to text; the five bytes that code page leaves undefined map to the C1
/// control of the same number, so every byte reads as something.
QString fromWindows1252(QByteArrayView bytes);
/// Text of a file that should be UTF-8 but may have been written on a Windows machine:
/// valid UTF-8 decodes as such (a leading U+FEFF included), anything else as Windows-1252.
QString decodeIniText(QByteArrayView bytes);

/// The bytes of a file, in memory that a large file takes whole from allocateLarge().
using IniBytes = std::vector<char, LargeAllocator<char>>;

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
    /// Parses a copy of @p bytes.
    explicit IniDocument(QByteArrayView bytes);
    /// Parses @p bytes, which the document keeps and never changes.
    explicit IniDocument(IniBytes &&bytes);

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
    bool isFragmented() const
    {
        return m_ownedBytes > 65536 && m_ownedBytes > qsizetype(m_raw.size());
    }
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
    /// The parts of a line, as offsets from its first byte.
    struct Parts
    {
        Kind kind = Kind::Blank;
        qint32 nameOff = 0, nameLen = 0;
        qint32 valueOff = 0, valueLen = 0;
    };
    /// A line: where its bytes are, its kind and name, and where its value's text is. A
    /// large file has one per line, so it is kept small: the value's bytes are found again
    /// from the line's own when they are needed.
    struct Line
    {
        quint32 off = 0; ///< into m_raw, or into the chunk `ref` for a line this document wrote
        qint32 len = 0;  ///< with the line end
        /// The chunk of a line this document wrote; else where its value's text starts in
        /// m_values.
        qint32 ref = 0;
        qint32 textLen = -1; ///< the length of that text; -1 when m_values has none
        qint32 nameOff = 0, nameLen = 0;
        Kind kind = Kind::Blank;
        bool owned = false;     ///< the bytes are in a chunk
        bool written = false;   ///< a value setValue() stored
        bool asciiName = false; ///< the name is ASCII, and so folds to as many bytes
    };
    /// A section: its header and body lines. The body is a range of m_lines until a key is
    /// added to it; it then moves into a vector of m_bodies so that adding stays cheap
    /// however many sections follow.
    struct Block
    {
        qint32 header = -1; ///< index in m_lines; -1 for the lines before the first header
        qint32 begin = 0, end = 0;
        qint32 body = -1; ///< the index of its body in m_bodies, once detached
    };
    /// One place of the section index: the hash of a folded section name and its block.
    struct Slot
    {
        quint32 hash = 0;
        qint32 block = -1; ///< -1 for a free place
    };

    QByteArrayView bytesOf(const Line &l) const
    {
        return l.owned ? QByteArrayView(m_chunks[size_t(l.ref)].constData() + l.off, l.len)
                       : QByteArrayView(m_raw.data() + l.off, l.len);
    }
    QByteArrayView nameOf(const Line &l) const { return bytesOf(l).sliced(l.nameOff, l.nameLen); }
    bool nameIs(const Line &l, QByteArrayView folded) const;
    QByteArrayView valueBytesOf(const Line &l) const;
    std::span<const Line> bodyOf(const Block &b) const
    {
        return b.body >= 0
                   ? std::span<const Line>(m_bodies[size_t(b.body)])
                   : std::span<const Line>(m_lines.data() + b.begin, size_t(b.end - b.begin));
    }
    std::span<Line> bodyOf(Block &b)
    {
        return b.body >= 0 ? std::span<Line>(m_bodies[size_t(b.body)])
                           : std::span<Line>(m_lines.data() + b.begin, size_t(b.end - b.begin));
    }
    /// The body of @p b as a vector of its own.
    std::vector<Line> &detach(Block &b);
    static Parts parse(QByteArrayView bytes);
    /// Fills in @p l's kind and name from @p bytes, its own; returns all the parts.
    static Parts classify(QByteArrayView bytes, Line &l);
    struct Split
    {
        qsizetype headers = 0;
        qsizetype valueRoom = 0; ///< characters the key lines' values need in m_values
    };
    /// Splits m_raw into m_lines.
    Split splitLines();
    /// Fills m_blocks and the section index from m_lines.
    void indexBlocks(qsizetype headers);
    /// Decodes the values of the key lines into m_values, which is made @p room long.
    void decodeValues(qsizetype room);
    /// A line of @p bytes, copied into the chunks (they must not point into them).
    Line ownedLine(QByteArrayView bytes);
    int findKey(const Block &b, QByteArrayView foldedKey) const;
    void terminate(Line &l);
    Line *lastLine();
    int findSection(QByteArrayView folded, quint32 hash) const;
    /// findSection() for a caller's name; remembers the last name found, as callers read
    /// the keys of one section one after another.
    int findSection(const QString &section) const;
    void indexSection(int block, quint32 hash);

    IniBytes m_raw;
    /// The values of the file as read, decoded back to back, each followed by a NUL as every
    /// QString's data is. value() hands out strings that share this one block: reading every
    /// value of a large file then allocates nothing, and the block lives until the document
    /// and the last such string are gone.
    QString m_values;
    QByteArray m_eol = "\n";
    /// Every line of the file as read, in order; for a large file the largest table here.
    std::vector<Line, LargeAllocator<Line>> m_lines;
    /// Bytes of the lines written since, back to back; a chunk is never grown past the room
    /// it was made with, so the lines in it stay where they are.
    std::vector<QByteArray> m_chunks;
    qsizetype m_ownedBytes = 0;
    std::vector<Block> m_blocks;             ///< block 0 holds the lines before the first header
    std::vector<std::vector<Line>> m_bodies; ///< the bodies of blocks keys were added to
    /// First block of each folded section name, open addressing; a power of two in size.
    std::vector<Slot> m_index;
    qsizetype m_indexed = 0;
    /// The last section findSection(const QString &) found: its folded name and block.
    mutable char m_lastName[16] = {};
    mutable qint8 m_lastNameLen = -1;
    mutable qint32 m_lastBlock = -1;
};

} // namespace ini
