#pragma once

#include <QByteArray>
#include <QString>

namespace inicheck {

/// Runs one input through IniDocument and checks what must hold for any bytes: the document
/// gives its bytes back exactly; an accepted write reads back exactly, in memory and after
/// parsing the new bytes, changes no byte outside the line it touches and no other value; a
/// refused write says why and changes nothing; parsing toBytes() again reads the same.
///
/// The input is the file's bytes, then for each write a 0x1E byte and its section, key and
/// value separated by 0x1F bytes. Those names and values are UTF-8 in which an encoded
/// UTF-16 surrogate stands for itself and any other invalid byte for the Latin-1 character,
/// so that every string a caller could pass can be written.
///
/// Returns an empty text when everything held, else what broke.
QString checkIniDocument(const QByteArray &input);

} // namespace inicheck
