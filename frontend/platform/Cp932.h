// Conversion between the front end's texts and the Japanese ANSI code page (CP932, Shift-JIS) of
// its files, through glibc's iconv.
#pragma once

#include <QByteArray>
#include <QString>

namespace Cp932 {

// Encodes text; *ok (when given) is false when a character has no CP932 code or when decoding the
// result does not give the text back unchanged (codes shared by two characters).
QByteArray encode(const QString& text, bool* ok = nullptr);

// Decodes CP932 bytes; undecodable bytes become U+FFFD.
QString decode(const QByteArray& bytes);

// True when the text survives a round trip through CP932 unchanged.
bool canEncode(const QString& text);

}  // namespace Cp932
