#pragma once

// An independent reading of the schedule file format, to check the program's reader against.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringDecoder>

namespace anunciel::fuzz {

// Lines: CR LF, a lone CR and a lone LF each end a line.
inline QList<QByteArray> referenceLines(QByteArray bytes)
{
    bytes.replace("\r\n", "\n");
    bytes.replace('\r', '\n');
    return bytes.split('\n');
}

// A line as UTF-8, every character kept (a mark at a line's start too).
inline QString fromUtf8Line(const QByteArray &line)
{
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(line);
}

// A UTF-8 byte-order mark, or four lines that are UTF-8 (they come back whole from a round
// trip through UTF-16) with something beyond ASCII, make the file UTF-8.
inline bool readAsUtf8(const QByteArray &bytes)
{
    if (bytes.startsWith("\xef\xbb\xbf"))
        return true;
    const QList<QByteArray> lines = referenceLines(bytes);
    bool beyondAscii = false, roundTrips = true;
    for (int i = 0; i < 4 && i < lines.size(); ++i) {
        for (char c : lines[i])
            beyondAscii = beyondAscii || uchar(c) >= 0x80;
        roundTrips = roundTrips && fromUtf8Line(lines[i]).toUtf8() == lines[i];
    }
    return beyondAscii && roundTrips;
}

} // namespace anunciel::fuzz
