// The platform-dependent parts of the schedule room, built for Linux and for Windows from the
// same sources, with Qt Core only (the Windows Qt here has no Qt Test), and run under Wine.
//
//   platform_check files      the file-existence test in a fresh folder, with the cases
//                             where Windows answers differently from Linux: names that differ
//                             only in case, hidden and system files, a folder with accents,
//                             both separators. Each case has its expected answer for each
//                             platform. Prints PASS/FAIL lines and a summary; exit status 1
//                             when a case failed.
//   platform_check codepage   prints how the schedule files' code page writes and reads a
//                             table of texts and every byte. Both builds must print the same:
//                             a station's files move between Windows and Linux unchanged.
//   platform_check encode     reads four lines of UTF-8 on standard input and writes the
//                             bytes a save would put into a schedule file for those fields.

#include "schedule/NormalFileSearch.h"
#include "schedule/ScheduleFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

#include <cstdio>
#include <functional>
#include <vector>

using namespace anunciel;

namespace {

QTextStream &out()
{
    static QTextStream stream(stdout);
    stream.setEncoding(QStringConverter::Utf8);
    return stream;
}

// ---- files -------------------------------------------------------------------------------

struct Outcome
{
    int passed = 0;
    int failed = 0;
};

bool makeFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("RIFF") == 4;
}

// Hidden, system or read-only as the platform has it: an attribute on Windows (as attrib
// +h/+s/+r sets it), the leading dot or the mode bits on Linux.
enum class Attribute
{
    Hidden,
    System,
    ReadOnly
};

bool setAttribute(const QString &path, Attribute attribute)
{
#ifdef Q_OS_WIN
    const auto native = reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(path).utf16());
    const DWORD before = GetFileAttributesW(native);
    if (before == INVALID_FILE_ATTRIBUTES)
        return false;
    const DWORD bit = attribute == Attribute::Hidden   ? FILE_ATTRIBUTE_HIDDEN
                      : attribute == Attribute::System ? FILE_ATTRIBUTE_SYSTEM
                                                       : FILE_ATTRIBUTE_READONLY;
    return SetFileAttributesW(native, (before & ~FILE_ATTRIBUTE_NORMAL) | bit) != 0;
#else
    if (attribute == Attribute::ReadOnly)
        return QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    return true; // hidden is in the name; Linux has no system files
#endif
}

#ifdef Q_OS_WIN
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

// One case: the path as the program would build it, and the answer on each platform.
void expect(Outcome &outcome, const QString &what, const QString &path, bool onWindows,
            bool onLinux)
{
    const bool want = kWindows ? onWindows : onLinux;
    const bool got = findsNormalFile(path);
    if (got == want) {
        ++outcome.passed;
        out() << "PASS: " << what << "\n";
    } else {
        ++outcome.failed;
        out() << "FAIL: " << what << ": findsNormalFile(\"" << QDir::toNativeSeparators(path)
              << "\") is " << (got ? "true" : "false") << ", expected " << (want ? "true" : "false")
              << "\n";
    }
    out().flush();
}

int checkFiles()
{
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        out() << "FAIL: no scratch folder: " << scratch.errorString() << "\n";
        return 1;
    }
    // A station folder whose name has accents and a blank, like a Windows user's folder.
    const QString station = scratch.path() + QStringLiteral("/Estação São João");
    const QString recordings = station + QStringLiteral("/Gravações");
    const QString emptyFolder = station + QStringLiteral("/vazia.wav");
    bool ready = QDir().mkpath(recordings) && QDir().mkpath(emptyFolder);
    const QString hiddenName =
        kWindows ? QStringLiteral("oculto.wav") : QStringLiteral(".oculto.wav");
    for (const QString &name :
         {QStringLiteral("Aviso.wav"), hiddenName, QStringLiteral("sistema.wav"),
          QStringLiteral("leitura.wav"), QStringLiteral("Gravações/Anúncio ç.wav")})
        ready = makeFile(station + u'/' + name) && ready;
    ready = setAttribute(station + u'/' + hiddenName, Attribute::Hidden) && ready;
    ready = setAttribute(station + QStringLiteral("/sistema.wav"), Attribute::System) && ready;
    ready = setAttribute(station + QStringLiteral("/leitura.wav"), Attribute::ReadOnly) && ready;
    if (!ready) {
        out() << "FAIL: could not lay out the scratch folder " << station << "\n";
        return 1;
    }
    // As `caminho` is on the platform: native separators, a trailing one.
    const QString caminho = QDir::toNativeSeparators(station) + QDir::separator();
    const QChar sep = QDir::separator();

    Outcome o;
    // Names that differ only in case: the same file on Windows, another (missing) one on Linux.
    expect(o, "exact name", caminho + "Aviso.wav", true, true);
    expect(o, "name in small letters", caminho + "aviso.wav", true, false);
    expect(o, "name in capitals", caminho + "AVISO.WAV", true, false);
    expect(o, "pattern in capitals", caminho + "*.WAV", true, false);
    expect(o, "pattern with ? and other case", caminho + "avis?.Wav", true, false);
    expect(o, "pattern matching nothing", caminho + "*.mp3", false, false);

    // Hidden and system files never count, read-only ones do.
    expect(o, "hidden file by name", caminho + hiddenName, false, false);
    expect(o, "hidden file by pattern", caminho + "*culto.wav", false, false);
    expect(o, "hidden file by name in capitals", caminho + hiddenName.toUpper(), false, false);
    expect(o, "system file by name", caminho + "sistema.wav", false, true);
    expect(o, "system file by pattern", caminho + "sist*.wav", false, true);
    expect(o, "read-only file", caminho + "leitura.wav", true, true);

    // Folders: only files count; a trailing separator searches inside.
    expect(o, "folder named like a WAV file", caminho + "vazia.wav", false, false);
    expect(o, "empty folder searched", caminho + "vazia.wav" + sep, false, false);
    expect(o, "station folder searched (an empty file-name box)", caminho, true, true);

    // The folder and file names with accents, as typed and in the other case.
    const QString inRecordings = caminho + QStringLiteral("Gravações") + sep;
    expect(o, "accented name in accented folders", inRecordings + "Anúncio ç.wav", true, true);
    expect(o, "accented name in capitals", inRecordings + "ANÚNCIO Ç.WAV", true, false);
    expect(o, "accented folder in small letters",
           caminho + QStringLiteral("gravações") + sep + "Anúncio ç.wav", true, false);
    expect(o, "accented pattern in capitals", inRecordings + "AN?NCIO*", true, false);
    expect(o, "accented folder searched", inRecordings, true, true);
    expect(o, "accented folder's own name", caminho + QStringLiteral("Gravações"), false, false);

    // Windows takes both separators; on Linux a backslash is part of a name.
    expect(o, "forward slash inside the path",
           QDir::toNativeSeparators(station) + sep + QStringLiteral("Gravações/Anúncio ç.wav"),
           true, true);
    expect(o, "backslash inside the path", station + QStringLiteral("/Gravações\\Anúncio ç.wav"),
           true, false);

#ifdef Q_OS_WIN
    // The code page comparison with the Linux build assumes the code page of Brazil's and
    // western Europe's Windows.
    if (GetACP() == 1252) {
        ++o.passed;
        out() << "PASS: the ANSI code page is Windows-1252\n";
    } else {
        ++o.failed;
        out() << "FAIL: the ANSI code page is " << GetACP() << ", not 1252\n";
    }
#endif
    out() << "platform files: " << o.passed << " passed, " << o.failed << " failed\n";
    return o.failed == 0 ? 0 : 1;
}

// ---- code page ---------------------------------------------------------------------------

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

QString codePoints(const QString &text)
{
    QStringList points;
    for (const char32_t c : text.toUcs4())
        points << QStringLiteral("U+%1").arg(quint32(c), 4, 16, QLatin1Char('0')).toUpper();
    return points.join(u' ');
}

int printCodePage()
{
    // Texts an operator may type or a file may hold: accents, the code page's own extras,
    // letters Windows would "best fit" to lookalikes (a different file name), characters
    // it lacks, a character outside the 16-bit range, broken UTF-16, controls.
    const std::vector<std::pair<const char *, QString>> texts = {
        {"plain", QStringLiteral("08:30 aviso.wav")},
        {"accents", QStringLiteral("Anúncio ção ÀÉÎÕÜ ñ ß ÿ")},
        {"code page extras",
         QStringLiteral("€ ‚ ƒ „ … † ‡ ˆ ‰ Š ‹ Œ Ž ‘ ’ “ ” • – — ˜ ™ š › œ ž Ÿ")},
        {"controls", QString(QChar(0x1a)) + QChar(0x7f) + QChar(0x80) + QChar(0x81) + QChar(0x8d) +
                         QChar(0x8f) + QChar(0x90) + QChar(0x9d) + QChar(0x9f)},
        {"lookalikes", QStringLiteral("ā ē ī Ł ∞ Ａviso.wav ＼ ″ ‐ ― Ω ≤ ﬁ")},
        {"missing", QStringLiteral("漢字 Кириллица")},
        {"outside 16 bits", QStringLiteral("📻 rádio")},
        {"lone surrogates", QStringLiteral("a") + QChar(0xd800) + QStringLiteral("b") +
                                QChar(0xdc00) + QStringLiteral("c")},
    };
    for (const auto &[name, text] : texts) {
        const QByteArray bytes = toCodePage(text);
        out() << name << ": " << hex(bytes) << "\n";
        out() << name << " read back: " << codePoints(fromCodePage(bytes)) << "\n";
    }
    for (int row = 0; row < 256; row += 16) {
        QByteArray bytes;
        for (int b = row; b < row + 16; ++b)
            bytes += char(b);
        out() << QStringLiteral("bytes %1: ").arg(row, 2, 16, QLatin1Char('0'))
              << codePoints(fromCodePage(bytes)) << "\n";
    }
    return 0;
}

int encode()
{
    QTextStream in(stdin);
    in.setEncoding(QStringConverter::Utf8);
    ScheduleColumn column;
    for (QString &field : column)
        field = in.readLine();
    const QByteArray bytes = encodeSchedule(column);
    return std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size())
               ? 0
               : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
#ifdef Q_OS_WIN
    // Binary standard output: the table and the bytes as they are, no CR added.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    if (args.size() == 2 && args[1] == QLatin1String("files"))
        return checkFiles();
    if (args.size() == 2 && args[1] == QLatin1String("codepage"))
        return printCodePage();
    if (args.size() == 2 && args[1] == QLatin1String("encode"))
        return encode();
    std::fprintf(stderr, "usage: platform_check files|codepage|encode\n");
    return 2;
}
