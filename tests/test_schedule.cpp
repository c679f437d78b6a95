// Schedule files and the file-existence test.

#include "platform/SystemErrors.h"
#include "schedule/NormalFileSearch.h"
#include "schedule/ScheduleFile.h"

#include "SaveFailure.h"
#include "TestFiles.h"
#include "UnreadableFile.h"
#include "WorkingFolder.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <sys/stat.h>
#endif

#include <memory>
#include <optional>

using namespace anunciel;
using namespace anunciel::test;

namespace {

#ifdef Q_OS_WIN
// Windows' names ignore case, and hidden or system files are marked by attributes.
constexpr bool kCaseBlindNames = true;
bool setAttribute(const char *name, DWORD attribute)
{
    return SetFileAttributesW(reinterpret_cast<LPCWSTR>(QString::fromUtf8(name).utf16()),
                              attribute) != 0;
}
#else
constexpr bool kCaseBlindNames = false;
#endif

} // namespace

class TestSchedule : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<WorkingFolder>(); // for every test and every row
    }
    void cleanup() { m_dir.reset(); }

    void decode_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("crlf") << QByteArray("08:00\r\n12:30\r\n\r\n18:45\r\n")
                              << QStringList{"08:00", "12:30", "", "18:45"};
        QTest::newRow("six lines, first four")
            << QByteArray("a\r\nb\r\nc\r\nd\r\ne\r\nf\r\n") << QStringList{"a", "b", "c", "d"};
        QTest::newRow("two lines")
            << QByteArray("07:00\r\n07:30\r\n") << QStringList{"07:00", "07:30", "", ""};
        QTest::newRow("empty file") << QByteArray() << QStringList{"", "", "", ""};
        QTest::newRow("lone CR ends a line")
            << QByteArray("a\rb\rc\rd\r") << QStringList{"a", "b", "c", "d"};
        QTest::newRow("lone LF ends a line")
            << QByteArray("a\nb\nc\nd\n") << QStringList{"a", "b", "c", "d"};
        QTest::newRow("mixed ends")
            << QByteArray("a\r\nb\nc\rd") << QStringList{"a", "b", "c", "d"};
        QTest::newRow("LF CR is two ends") << QByteArray("a\n\rb") << QStringList{"a", "", "b", ""};
        QTest::newRow("CRs only") << QByteArray("\r\r\r\r\r\r") << QStringList{"", "", "", ""};
        QTest::newRow("last line without end")
            << QByteArray("x\r\ny") << QStringList{"x", "y", "", ""};
        QTest::newRow("blanks kept")
            << QByteArray(" aviso.wav \r\n") << QStringList{" aviso.wav ", "", "", ""};
        QTest::newRow("windows-1252 accents")
            << QByteArray("manh\xe3.wav\r\n\x80 avisos\r\n")
            << QStringList{QString::fromUtf8("manhã.wav"), QString::fromUtf8("€ avisos"), "", ""};
        // Files saved by a Linux editor.
        QTest::newRow("UTF-8 accents")
            << QByteArray("identifica\xc3\xa7\xc3\xa3o.wav\nbom_dia.wav\n")
            << QStringList{QString::fromUtf8("identificação.wav"), "bom_dia.wav", "", ""};
        QTest::newRow("UTF-8 byte-order mark, ASCII only") << QByteArray("\xef\xbb\xbf"
                                                                         "08:00\r\n09:00\r\n")
                                                           << QStringList{"08:00", "09:00", "", ""};
        QTest::newRow("UTF-8 byte-order mark and accents")
            << QByteArray("\xef\xbb\xbf"
                          "manh\xc3\xa3.wav\r\n")
            << QStringList{QString::fromUtf8("manhã.wav"), "", "", ""};
        // One byte that cannot be UTF-8 makes the whole file the code page.
        QTest::newRow("UTF-8 in one line, code page in another")
            << QByteArray("manh\xc3\xa3.wav\r\nmanh\xe3.wav\r\n")
            << QStringList{QString::fromUtf8("manhÃ£.wav"), QString::fromUtf8("manhã.wav"), "", ""};
        // Only the four lines read decide: what follows them is never looked at.
        QTest::newRow("UTF-8 lines, code page after the fourth")
            << QByteArray("\xc3\xa1\r\nb\r\nc\r\nd\r\n\xe1\r\n")
            << QStringList{QString::fromUtf8("á"), "b", "c", "d"};
        QTest::newRow("UTF-8: a mark starting a later line is kept")
            << QByteArray("\xc3\xa1\r\n\xef\xbb\xbf"
                          "b\r\n")
            << QStringList{QString::fromUtf8("á"), QString(QChar(0xFEFF)) + "b", "", ""};
        QTest::newRow("UTF-8 overlong form is the code page")
            << QByteArray("\xc0\xaf.wav\r\n")
            << QStringList{QString::fromUtf8("À¯.wav"), "", "", ""};
    }
    void decode()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, fields);
        const ScheduleColumn column = decodeSchedule(bytes);
        QCOMPARE(QStringList(column.begin(), column.end()), fields);
    }

    void encodeIsCrLfInCodePage()
    {
        const ScheduleColumn column{QString::fromUtf8("ação.wav"), QString(),
                                    QString::fromUtf8("€"), QString::fromUtf8("漢字 ok")};
        QCOMPARE(encodeSchedule(column), QByteArray("a\xe7\xe3o.wav\r\n\r\n\x80\r\n?? ok\r\n"));
        // A real control character U+001A is not taken for a missing one.
        QCOMPARE(toCodePage(QString(QChar(0x1a)) + QString::fromUtf8("漢")), QByteArray("\x1a?"));
    }

    void saveThenLoadRoundTrip_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("times") << QStringList{"08:00", "", "12:30", "23:59"};
        QTest::newRow("names") << QStringList{QString::fromUtf8("manhã.wav"), "noite.wav", "",
                                              QString::fromUtf8(" avisos/ção.wav ")};
        QTest::newRow("all empty") << QStringList{"", "", "", ""};
    }
    void saveThenLoadRoundTrip()
    {
        QFETCH(QStringList, fields);
        ScheduleColumn column;
        std::copy(fields.begin(), fields.end(), column.begin());
        const ScheduleWrite w = writeSchedule(kNamesFile, column);
        QVERIFY2(w.ok, qPrintable(w.reason));
        QCOMPARE(readBytes(kNamesFile), encodeSchedule(column));
        const ScheduleRead r = readSchedule(kNamesFile);
        QCOMPARE(r.status, ScheduleRead::Status::Ok);
        QCOMPARE(QStringList(r.column.begin(), r.column.end()), fields);
    }

    void readsOnlyWhatFourLinesNeed()
    {
        // A 10 MB single line loads whole; lines after it are not needed.
        QByteArray big(10 * 1024 * 1024, 'x');
        QVERIFY(writeBytes(kTimesFile, big + "\r\nb\r\nc\r\nd\r\ne"));
        const ScheduleRead r = readSchedule(kTimesFile);
        QCOMPARE(r.status, ScheduleRead::Status::Ok);
        QCOMPARE(r.column[0].size(), big.size());
        QCOMPARE(r.column[3], QStringLiteral("d"));
    }

    void crLfSplitAcrossReads()
    {
        // The CR of a CR LF at the edge of a read chunk must not make an extra line.
        QByteArray bytes(64 * 1024 - 1, 'a');
        bytes += "\r\nb\r\nc\r\nd\r\n";
        QVERIFY(writeBytes(kTimesFile, bytes));
        const ScheduleRead r = readSchedule(kTimesFile);
        QCOMPARE(r.column[1], QStringLiteral("b"));
        QCOMPARE(r.column[3], QStringLiteral("d"));
    }

    // Missing only when the name is not there at all; a name that is there but cannot be read
    // as a file empties its column at start instead of leaving every time at 00:00.
    void missingOrUnreadable_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<bool>("missing");
        QTest::addColumn<QString>("reason");
        QTest::newRow("absent") << "absent" << true << "";
        QTest::newRow("folder") << "folder" << false << "é uma pasta, não um arquivo";
#ifdef Q_OS_WIN
        QTest::newRow("read fails") << "read fails" << false << "arquivo em uso por outro programa";
#else
        // A regular file whose reads fail, even for root.
        QTest::newRow("read fails") << "read fails" << false << "erro de entrada e saída no disco";
        QTest::newRow("dangling link")
            << "dangling link" << false
            << "é um link simbólico para \"/mnt/anunciel-ausente/hora_msg.txt\", que não existe";
        QTest::newRow("link to a dangling link")
            << "link chain" << false
            << "é um link simbólico para \"/mnt/anunciel-ausente/hora_msg.txt\", que não existe";
        QTest::newRow("link loop")
            << "link loop" << false << "é um link simbólico que leva a si mesmo (ciclo de links)";
        QTest::newRow("link to a folder")
            << "link to folder" << false << "é uma pasta, não um arquivo";
        QTest::newRow("named pipe") << "pipe" << false << "não é um arquivo comum";
#endif
    }
    void missingOrUnreadable()
    {
        QFETCH(QString, setup);
        QFETCH(bool, missing);
        QFETCH(QString, reason);
        std::optional<UnreadableFile> unreadable;
        const QString missingTarget = QStringLiteral("/mnt/anunciel-ausente/hora_msg.txt");
        if (setup == "folder") {
            QVERIFY(QDir().mkdir(kTimesFile));
        } else if (setup == "read fails") {
            unreadable.emplace(kTimesFile);
            QVERIFY(unreadable->isSet());
        } else if (setup == "dangling link") {
            QVERIFY(QFile::link(missingTarget, kTimesFile));
        } else if (setup == "link chain") {
            QVERIFY(QFile::link(missingTarget, QStringLiteral("meio")));
            QVERIFY(QFile::link(QStringLiteral("meio"), kTimesFile));
        } else if (setup == "link loop") {
            QVERIFY(QFile::link(QStringLiteral("volta"), kTimesFile));
            QVERIFY(QFile::link(kTimesFile, QStringLiteral("volta")));
        } else if (setup == "link to folder") {
            QVERIFY(QDir().mkdir(QStringLiteral("pasta")));
            QVERIFY(QFile::link(QStringLiteral("pasta"), kTimesFile));
        } else if (setup == "pipe") {
#ifndef Q_OS_WIN
            QCOMPARE(::mkfifo(kTimesFile.toLocal8Bit().constData(), 0600), 0);
#endif
        }
        const ScheduleRead r = readSchedule(kTimesFile);
        QCOMPARE(r.status,
                 missing ? ScheduleRead::Status::Missing : ScheduleRead::Status::Unreadable);
        QCOMPARE(r.reason, reason);
    }

    // The system's reasons in Portuguese, whatever the system's own language.
    void fileErrorTexts_data()
    {
        QTest::addColumn<int>("kind"); // QFileDevice::FileError
        QTest::addColumn<int>("code"); // the system's error code
        QTest::addColumn<QString>("text");
        const int open = QFileDevice::OpenError;
        const int write = QFileDevice::WriteError;
#ifdef Q_OS_WIN
        QTest::newRow("access denied") << open << int(ERROR_ACCESS_DENIED) << "permissão negada";
        QTest::newRow("disk full") << write << int(ERROR_DISK_FULL) << "disco cheio";
        QTest::newRow("not found") << open << int(ERROR_FILE_NOT_FOUND) << "arquivo não encontrado";
        QTest::newRow("in use") << open << int(ERROR_SHARING_VIOLATION)
                                << "arquivo em uso por outro programa";
#else
        QTest::newRow("a folder") << open << EISDIR << "é uma pasta";
        QTest::newRow("permission") << open << EACCES << "permissão negada";
        QTest::newRow("disk full") << write << ENOSPC << "disco cheio";
        QTest::newRow("not found") << open << ENOENT << "arquivo não encontrado";
        QTest::newRow("disk fault")
            << int(QFileDevice::ReadError) << EIO << "erro de entrada e saída no disco";
#endif
        QTest::newRow("no code, read") << int(QFileDevice::ReadError) << 0 << "erro de leitura";
        QTest::newRow("no code, rename")
            << int(QFileDevice::RenameError) << 0 << "o arquivo não pôde ser substituído";
        QTest::newRow("unknown code") << write << 99999 << "erro de gravação (código 99999)";
    }
    void fileErrorTexts()
    {
        QFETCH(int, kind);
        QFETCH(int, code);
        QFETCH(QString, text);
        QCOMPARE(fileErrorText(QFileDevice::FileError(kind), code), text);
    }

#ifndef Q_OS_WIN
    // Taken from the failing call itself, not from one made before it.
    void fileErrorOfARealCall()
    {
        QVERIFY(QDir().mkdir(kTimesFile));
        QFile::exists(QStringLiteral("nada")); // leaves ENOENT behind
        QFile file(kTimesFile);
        clearSystemError();
        QVERIFY(!file.open(QIODevice::WriteOnly));
        QCOMPARE(fileErrorText(file), QStringLiteral("é uma pasta"));
        // Saving over it says the same.
        const ScheduleWrite w = writeSchedule(kTimesFile, ScheduleColumn{});
        QVERIFY(!w.ok);
        QCOMPARE(w.reason, QStringLiteral("é uma pasta"));
    }
#endif

    void failedSaveKeepsOldFile()
    {
        const QByteArray old("07:00\r\n08:00\r\n09:00\r\n10:00\r\n");
        QVERIFY(writeBytes(kTimesFile, old));
        ScheduleWrite w;
        {
            const SaveFailure limit(kTimesFile, 8);
            QVERIFY(limit.isSet());
            w = writeSchedule(kTimesFile, ScheduleColumn{"11:00", "12:00", "13:00", "14:00"});
        }
        QVERIFY(!w.ok);
#ifdef Q_OS_WIN
        QVERIFY(!w.reason.isEmpty());
#else
        QCOMPARE(w.reason, QStringLiteral("arquivo maior que o permitido"));
#endif
        QCOMPARE(readBytes(kTimesFile), old);
        // No temporary file is left beside it.
        QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden), QStringList{kTimesFile});
    }

    void existeArquivo_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("exists");
        QTest::newRow("plain file") << "aviso.wav" << true;
        QTest::newRow("case differs") << "AVISO.wav" << kCaseBlindNames;
        QTest::newRow("absent") << "nada.wav" << false;
        QTest::newRow("star") << "*.wav" << true;
        QTest::newRow("star no match") << "*.mp3" << false;
        QTest::newRow("question mark") << "avis?.wav" << true;
        QTest::newRow("question needs one char") << "aviso?.wav" << false;
        QTest::newRow("brackets are plain") << "aviso [1].wav" << true;
        QTest::newRow("brackets no class") << "aviso [2].wav" << false;
        QTest::newRow("brackets with star") << "*[1]*" << true;
        QTest::newRow("dot-file is hidden") << ".oculto.wav" << false;
        QTest::newRow("pattern skips dot-file") << "*oculto*" << false;
        QTest::newRow("folder's own name") << "pasta" << false;
        QTest::newRow("folder with separator, has file") << "pasta/" << true;
        QTest::newRow("empty folder with separator") << "vazia/" << false;
        QTest::newRow("pattern in a folder") << "pasta/*.wav" << true;
        QTest::newRow("folder named like the file") << "hora_msg.txt" << false;
        // A FIFO on Linux, a system file on Windows: there but not an ordinary file.
        QTest::newRow("special file is no file") << "fila" << false;
    }
    void existeArquivo()
    {
        QFETCH(QString, path);
        QFETCH(bool, exists);
        QVERIFY(writeBytes("aviso.wav", "RIFF"));
        QVERIFY(writeBytes("aviso [1].wav", "RIFF"));
        QVERIFY(writeBytes(".oculto.wav", "RIFF"));
        QDir().mkpath("pasta");
        QDir().mkpath("vazia/sub");
        QDir().mkpath("hora_msg.txt");
        QVERIFY(writeBytes("pasta/dentro.wav", "RIFF"));
#ifdef Q_OS_WIN
        QVERIFY(setAttribute(".oculto.wav", FILE_ATTRIBUTE_HIDDEN));
        QVERIFY(writeBytes("fila", "RIFF"));
        QVERIFY(setAttribute("fila", FILE_ATTRIBUTE_SYSTEM));
#else
        QVERIFY(QFile::exists("fila") || ::mkfifo("fila", 0600) == 0);
#endif
        QCOMPARE(findsNormalFile(path), exists);
        // The same answer for an absolute path.
        QCOMPARE(findsNormalFile(QDir::current().absoluteFilePath(path)), exists);
    }

    void wildcardMatcher_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("match");
        QTest::newRow("empty pattern, empty name") << ""
                                                   << "" << true;
        QTest::newRow("star matches empty") << "*"
                                            << "" << true;
        QTest::newRow("backtracking") << "a*b*c"
                                      << "aXbYbZc" << true;
        QTest::newRow("trailing char") << "a*c"
                                       << "abcd" << false;
        QTest::newRow("many stars") << "**a**"
                                    << "bab" << true;
        QTest::newRow("long non-match stays fast")
            << QString(40, '*') + "b" << QString(5000, 'a') << false;
    }
    void wildcardMatcher()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, name);
        QFETCH(bool, match);
        QCOMPARE(matchesWildcard(pattern, name, Qt::CaseSensitive), match);
    }

private:
    std::unique_ptr<WorkingFolder> m_dir;
};

QTEST_GUILESS_MAIN(TestSchedule)
#include "test_schedule.moc"
