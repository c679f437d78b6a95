// Saving: whatever the operator can have in the four fields (any UTF-16, lone surrogates
// included; no line ends, which a one-line field does not hold) is written as the save
// buttons write it and read back. Characters of the code page come back unchanged and every
// other character, or lone surrogate, as one "?" (unless the bytes happen to read as UTF-8);
// the file has exactly four lines.
//
// The input is taken as UTF-16 code units (little-endian byte pairs); CR and LF separate
// the fields.

#include "FuzzCheck.h"
#include "ScheduleReference.h"

#include "schedule/ScheduleFile.h"

#include <QList>

#include <cstdint>

using namespace anunciel;

namespace {

// Characters Windows-1252 holds beyond ASCII and Latin-1's upper half: its 0x80-0x9F row.
// The five positions that row leaves undefined map to the C1 controls of the same value.
bool inCodePage(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return true;
    static constexpr char32_t kRow[] = {
        0x20AC, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039,
        0x0152, 0x017D, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122,
        0x0161, 0x203A, 0x0153, 0x017E, 0x0178, 0x0081, 0x008D, 0x008F, 0x0090, 0x009D};
    for (char32_t r : kRow)
        if (r == c)
            return true;
    return false;
}

// What a field should read as after saving and loading.
QString expectedBack(const QString &typed)
{
    QString back;
    for (qsizetype i = 0; i < typed.size(); ++i) {
        const QChar c = typed[i];
        if (c.isHighSurrogate() && i + 1 < typed.size() && typed[i + 1].isLowSurrogate()) {
            back += u'?'; // outside the Basic Multilingual Plane: never in the code page
            ++i;
        } else if (c.isSurrogate() || !inCodePage(c.unicode())) {
            back += u'?';
        } else {
            back += c;
        }
    }
    return back;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QString units;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        units += QChar(char16_t(data[i] | (data[i + 1] << 8)));

    ScheduleColumn typed;
    int field = 0;
    for (const QChar c : units) {
        if (c == u'\r' || c == u'\n') {
            if (++field == 4)
                break;
        } else {
            typed[field] += c;
        }
    }

    const QByteArray saved = encodeSchedule(typed);
    // Four lines, each ended by CR LF, with one byte per character or surrogate read back.
    FUZZ_CHECK(saved.count('\r') == 4 && saved.count('\n') == 4);
    FUZZ_CHECK(saved.endsWith("\r\n"));
    // Read back as the program reads it: the code page, unless the saved bytes happen to be
    // UTF-8 with something beyond ASCII ("Ñ˜" is D1 98, "ј" in UTF-8), which is then read so.
    const ScheduleColumn loaded = decodeSchedule(saved);
    const bool utf8 = fuzz::readAsUtf8(saved);
    const QList<QByteArray> lines = fuzz::referenceLines(saved);
    qsizetype lengths = 0;
    for (int i = 0; i < 4; ++i) {
        const QString expected = expectedBack(typed[i]);
        FUZZ_CHECK(loaded[i] == (utf8 ? fuzz::fromUtf8Line(lines[i]) : expected));
        lengths += expected.size();
    }
    FUZZ_CHECK(saved.size() == lengths + 8);
    return 0;
}
