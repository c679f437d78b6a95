// Schedule files: arbitrary bytes are written to a real file and read back through the
// window's reader (existence test, chunked reading, line splitting, code page or UTF-8), then
// cut to the fields' limits as the window's fields cut them.
//
// Line ends split across the reader's 64 KiB read chunks are covered by the bad-input
// table; padding inputs to that size here made every execution forty times slower.

#include "FuzzCheck.h"
#include "ScheduleReference.h"

#include "schedule/ScheduleFile.h"
#include "ui/MainWindowUi.h"

#include <QFile>
#include <QList>
#include <QTemporaryDir>

#include <cstdint>

using namespace anunciel;
using namespace anunciel::fuzz;

namespace {

QString limited(const QString &text, int slotIndex)
{
    return slotIndex < 3 ? text.left(kTimeFieldLimit) : text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static QTemporaryDir dir;
    FUZZ_CHECK(dir.isValid());
    static const QString fileName = dir.filePath(kTimesFile);

    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    {
        QFile file(fileName);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_CHECK(file.write(bytes) == bytes.size());
    }

    const ScheduleRead read = readSchedule(fileName);
    FUZZ_CHECK(read.status == ScheduleRead::Status::Ok);

    // The file reader, which stops after the fourth line, agrees with decoding the whole.
    const ScheduleColumn whole = decodeSchedule(bytes);
    FUZZ_CHECK(read.column == whole);

    const bool marked = bytes.startsWith("\xef\xbb\xbf");
    const QList<QByteArray> lines = referenceLines(marked ? bytes.mid(3) : bytes);
    const bool utf8 = readAsUtf8(bytes);

    ScheduleColumn fields;
    for (int i = 0; i < 4; ++i) {
        const QString &text = read.column[i];
        const QByteArray line = i < lines.size() ? lines[i] : QByteArray();
        // The line, nothing more: no line-end character survives. The code page is total
        // and reversible, so encoding the text gives the line's bytes back; UTF-8 text is
        // the line decoded.
        FUZZ_CHECK(!text.contains(u'\r') && !text.contains(u'\n'));
        if (utf8) {
            FUZZ_CHECK(text == fromUtf8Line(line));
        } else {
            FUZZ_CHECK(toCodePage(text) == line);
            FUZZ_CHECK(text.size() == line.size());
        }

        fields[i] = limited(text, i);
        FUZZ_CHECK(i >= 3 || fields[i].size() <= kTimeFieldLimit);
        FUZZ_CHECK(fields[i] == text.left(fields[i].size()));
    }

    // Saving what was loaded and loading it again gives the same four fields (characters
    // from a UTF-8 file that the code page lacks come back as "?"), unless the saved
    // code-page bytes happen to be UTF-8 themselves ("Ã§" is "ç" in UTF-8): text no operator
    // types, read back as UTF-8.
    const QByteArray saved = encodeSchedule(fields);
    FUZZ_CHECK(saved.endsWith("\r\n"));
    if (!readAsUtf8(saved)) {
        const ScheduleColumn back = decodeSchedule(saved);
        for (int i = 0; i < 4; ++i)
            FUZZ_CHECK(back[i] == (utf8 ? fromCodePage(toCodePage(fields[i])) : fields[i]));
    }
    return 0;
}
