// Hostile schedule files, loaded through the window's own load buttons: what the four fields
// of the column hold afterwards, which box (if any) is shown, and that loading leaves every
// byte on disk as it was.

#include "schedule/ScheduleFile.h"
#include "support/Harness.h"
#include "support/UnreadableFile.h"
#include "support/WorkingFolder.h"

#include <QDateTime>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QtTest>

#include <optional>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using namespace anunciel;
using namespace anunciel::test;

namespace {

enum class Column
{
    Times,
    Names
};

// How the folder is prepared before the load.
enum class Setup
{
    Content,       // the schedule file holds `bytes`
    Folder,        // a folder has the schedule file's name
    NoPermission,  // the file holds `bytes` but nobody may read it
    ReadFails,     // the file opens but every read fails
    HiddenOnly,    // only a dot-file of that name exists, holding `bytes`
    WildcardNamed, // only files whose names hold * and ? exist, holding `bytes`
};

const QString kSaveFirst = QStringLiteral("Grave as mensagens primeiro!");
const QString kCannotRead = QStringLiteral("Não foi possível ler o arquivo");

// What a folder holds: every entry, hidden ones included, with its kind, size, time and bytes.
// Links are listed by their target and never followed.
QMap<QString, QByteArray> snapshot(const QString &root)
{
    QMap<QString, QByteArray> entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        const QString name = QDir(root).relativeFilePath(info.filePath());
        QByteArray record = QByteArray::number(info.lastModified().toMSecsSinceEpoch()) + ' ' +
                            QByteArray::number(int(info.permissions())) + ' ';
        if (info.isSymLink()) {
            record += "link " + info.symLinkTarget().toUtf8();
        } else if (info.isDir()) {
            record += "dir";
        } else {
            QFile file(info.filePath());
            record += "file " + QByteArray::number(info.size()) + ' ';
            record += file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
        }
        entries.insert(name, record);
    }
    return entries;
}

QByteArray repeated(const QByteArray &unit, qsizetype size)
{
    QByteArray bytes;
    bytes.reserve(size);
    while (bytes.size() < size)
        bytes += unit;
    bytes.truncate(size);
    return bytes;
}

QString fromLatin1Bytes(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes);
}

bool runningAsRoot()
{
#ifdef Q_OS_UNIX
    return ::geteuid() == 0;
#else
    return false;
#endif
}

} // namespace

class TestBadInput : public QObject
{
    Q_OBJECT

private slots:
    void hostileFiles_data();
    void hostileFiles();
    void hostileTextSaved_data();
    void hostileTextSaved();
};

void TestBadInput::hostileFiles_data()
{
    QTest::addColumn<Column>("column");
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("wavFiles"); // files put in the program folder
    QTest::addColumn<QStringList>("fields");   // the four fields after loading
    QTest::addColumn<QString>("box");          // start of the box shown, empty for none
    QTest::addColumn<int>("slot1Found");       // the tick finds slot 1's file: 1, 0, -1 unchecked

    const QStringList unchangedTimes{"01:01", "02:02", "03:03", "04:04:04"};
    const QStringList unchangedNames{"um.wav", "dois.wav", "tres.wav", "quatro.wav"};
    const QStringList none;

    QTest::newRow("empty file") << Column::Times << Setup::Content << QByteArray() << none
                                << QStringList{"", "", "", ""} << QString() << -1;
    QTest::newRow("CR only") << Column::Times << Setup::Content
                             << QByteArray("08:00\r09:15\r\r10:30") << none
                             << QStringList{"08:00", "09:15", "", "10:30"} << QString() << -1;
    QTest::newRow("LF only") << Column::Times << Setup::Content
                             << QByteArray("08:00\n09:15\n\n10:30\n") << none
                             << QStringList{"08:00", "09:15", "", "10:30"} << QString() << -1;
    // LF CR is two line ends: the CR ends an empty third line.
    QTest::newRow("mixed line ends")
        << Column::Times << Setup::Content << QByteArray("08:00\r\n09:15\n\r10:30\r11:45\r\n")
        << none << QStringList{"08:00", "09:15", "", "10:30"} << QString() << -1;

    QByteArray thousand;
    for (int i = 0; i < 1000; ++i)
        thousand += QStringLiteral("%1:%2\r\n")
                        .arg(i / 60 % 24, 2, 10, QLatin1Char('0'))
                        .arg(i % 60, 2, 10, QLatin1Char('0'))
                        .toLatin1();
    QTest::newRow("1,000 lines") << Column::Times << Setup::Content << thousand << none
                                 << QStringList{"00:00", "00:01", "00:02", "00:03"} << QString()
                                 << -1;

    // The time fields take five characters; the fourth takes any length.
    const QByteArray tenMegabytes = repeated("0123456789", 10 * 1024 * 1024);
    QTest::newRow("10 MB single line, times")
        << Column::Times << Setup::Content << tenMegabytes << none
        << QStringList{"01234", "", "", ""} << QString() << -1;
    QTest::newRow("10 MB single line, names")
        << Column::Names << Setup::Content << tenMegabytes << none
        << QStringList{QString::fromLatin1(tenMegabytes), "", "", ""} << QString() << 0;
    QTest::newRow("10 MB first line, then three")
        << Column::Times << Setup::Content << tenMegabytes + "\r\n07:00\r\n08:00\r\n09:00:30"
        << none << QStringList{"01234", "07:00", "08:00", "09:00:30"} << QString() << -1;

    // A line end split across the reader's 64 KiB reads.
    const QByteArray chunkMinusOne = repeated("x", 64 * 1024 - 1);
    QTest::newRow("CR LF across a read boundary")
        << Column::Times << Setup::Content << chunkMinusOne + "\r\n07:00\r\n08:00\r\n09:00" << none
        << QStringList{"xxxxx", "07:00", "08:00", "09:00"} << QString() << -1;
    QTest::newRow("lone CR at a read boundary")
        << Column::Times << Setup::Content << chunkMinusOne + "\r07:00\r\r09:00" << none
        << QStringList{"xxxxx", "07:00", "", "09:00"} << QString() << -1;

    // NUL is a character like any other: kept, and counted against the limit. A line of two
    // characters gets the time field's colon.
    QTest::newRow("NUL bytes") << Column::Times << Setup::Content
                               << QByteArray("08\x00"
                                             "30\r\n\x00\x00\r\n12:00\x00\r\n\x00",
                                             20)
                               << none
                               << QStringList{QString::fromLatin1("08\0"
                                                                  "30",
                                                                  5),
                                              QString::fromLatin1("\0\0:", 3), "12:00",
                                              QString(QChar(0))}
                               << QString() << -1;

    // Every byte value once, in order: lines end at 0x0A and 0x0D.
    QByteArray everyByte;
    for (int b = 0; b < 256; ++b)
        everyByte += char(b);
    QTest::newRow("binary, times")
        << Column::Times << Setup::Content << everyByte << none
        << QStringList{fromLatin1Bytes(everyByte.left(5)), fromLatin1Bytes("\x0b\x0c:"),
                       fromLatin1Bytes("\x0e\x0f\x10\x11\x12"), ""}
        << QString() << -1;
    const QByteArray png("\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR\x00\x00\x01\x00", 20);
    QTest::newRow("binary, names")
        << Column::Names << Setup::Content << png << none
        << QStringList{QStringLiteral("\u2030PNG"), QString(QChar(0x1a)),
                       QString::fromLatin1("\0\0\0", 3), QString::fromLatin1("IHDR\0\0\x01\0", 8)}
        << QString() << 0;

    // Bytes the code page leaves undefined still come through as characters, so that saving
    // the loaded fields writes the same bytes back.
    QTest::newRow("invalid code-page bytes")
        << Column::Names << Setup::Content
        << QByteArray("\x81\x8d\x8f\x90\x9d\r\nan\xfancio \x80.wav\r\n\xff\r\n") << none
        << QStringList{QStringLiteral("\u0081\u008d\u008f\u0090\u009d"),
                       QStringLiteral("anúncio €.wav"), QStringLiteral("ÿ"), ""}
        << QString() << 0;

    // There, but no file: read as unreadable, not as missing.
    QTest::newRow("folder in the file's place") << Column::Times << Setup::Folder << QByteArray()
                                                << none << unchangedTimes << kCannotRead << -1;
    QTest::newRow("folder in the names file's place")
        << Column::Names << Setup::Folder << QByteArray() << none << unchangedNames << kCannotRead
        << -1;
    QTest::newRow("unreadable file (no permission)")
        << Column::Times << Setup::NoPermission << QByteArray("08:00\r\n") << none << unchangedTimes
        << kCannotRead << -1;
    QTest::newRow("unreadable file (read fails)")
        << Column::Names << Setup::ReadFails << QByteArray() << none << unchangedNames
        << kCannotRead << -1;
    QTest::newRow("dot-file of the same name")
        << Column::Times << Setup::HiddenOnly << QByteArray("08:00\r\n") << none << unchangedTimes
        << kSaveFirst << -1;
#ifndef Q_OS_WIN // Windows names cannot hold * or ?
    QTest::newRow("wildcard-named files only")
        << Column::Times << Setup::WildcardNamed << QByteArray("08:00\r\n") << none
        << unchangedTimes << kSaveFirst << -1;
#endif

    // File names with wildcards load as typed; the tick's search then ignores hidden files.
    QTest::newRow("pattern matching only a dot-file")
        << Column::Names << Setup::Content << QByteArray("*.wav\r\n") << QStringList{".oculto.wav"}
        << QStringList{"*.wav", "", "", ""} << QString() << 0;
    QTest::newRow("pattern matching a normal file")
        << Column::Names << Setup::Content << QByteArray("avi?o.*\r\n")
        << QStringList{".oculto.wav", "aviso.wav"} << QStringList{"avi?o.*", "", "", ""}
        << QString() << 1;
    QTest::newRow("name with wildcards, no match")
        << Column::Names << Setup::Content << QByteArray("[a-z]*?.wav\r\n*\r\n")
        << QStringList{"a.wav"} << QStringList{"[a-z]*?.wav", "*", "", ""} << QString() << 0;
}

void TestBadInput::hostileFiles()
{
    QFETCH(Column, column);
    QFETCH(Setup, setup);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, wavFiles);
    QFETCH(QStringList, fields);
    QFETCH(QString, box);
    QFETCH(int, slot1Found);

    if (setup == Setup::NoPermission && runningAsRoot())
        QSKIP("running as root: file permissions do not stop root from reading; the "
              "\"read fails\" row covers an unreadable file instead");
#ifndef Q_OS_UNIX
    if (setup == Setup::NoPermission)
        QSKIP("file permissions here do not stop reading");
#endif
#if !defined(Q_OS_LINUX) && !defined(Q_OS_WIN)
    if (setup == Setup::ReadFails)
        QSKIP("needs /proc/self/mem, whose reads fail at offset 0");
#endif

    const WorkingFolder dir;
    Harness h;
    FakePlatform &fake = h.fake;
    fake.desktop.folder = dir.nativePath();
    QVERIFY(h.start());
    const FakeLink *link = h.link;
    QVERIFY(fake.boxes.shown.empty());

    // Texts that no row loads, so that "unchanged" and "emptied" differ.
    const QStringList times{"01:01", "02:02", "03:03", "04:04:04"};
    const QStringList names{"um.wav", "dois.wav", "tres.wav", "quatro.wav"};
    const QString checks = QStringLiteral("X.-.");
    for (int i = 0; i < kSlotCount; ++i) {
        h.time(i)->setText(times[i]);
        h.fileName(i)->setText(names[i]);
    }
    h.enabled(0)->setCheckState(Qt::Checked);
    h.enabled(2)->setCheckState(Qt::PartiallyChecked);
    QCOMPARE(h.enabledStates(), checks);

    const QString fileName = column == Column::Times ? kTimesFile : kNamesFile;
    std::optional<UnreadableFile> unreadable;
    switch (setup) {
    case Setup::Content:
    case Setup::NoPermission: {
        QFile file(fileName);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
        file.close();
        if (setup == Setup::NoPermission)
            QVERIFY(file.setPermissions({}));
        break;
    }
    case Setup::Folder:
        QVERIFY(QDir().mkdir(fileName));
        QVERIFY(QDir().mkdir(fileName + QStringLiteral("/inside")));
        break;
    case Setup::ReadFails:
        unreadable.emplace(fileName);
        QVERIFY(unreadable->isSet());
        break;
    case Setup::HiddenOnly: {
        QFile file(QLatin1Char('.') + fileName);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        break;
    }
    case Setup::WildcardNamed:
        for (const QString &name : {QString(fileName).replace(u'_', u'?'), fileName + u'*',
                                    QStringLiteral("*"), QStringLiteral("?") + fileName.mid(1)}) {
            QFile file(name);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        }
        break;
    }
    for (const QString &wav : wavFiles) {
        QFile file(wav);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("RIFF");
    }

    const QMap<QString, QByteArray> before = snapshot(dir.path());
    h.press(column == Column::Times ? "Command4" : "Command6");

    // The column loaded.
    for (int i = 0; i < kSlotCount; ++i) {
        const QString got = (column == Column::Times ? h.time(i) : h.fileName(i))->text();
        if (got != fields[i]) {
            const auto shown = [](const QString &s) {
                return s.size() > 60 ? QStringLiteral("%1 characters").arg(s.size())
                                     : QString::fromLatin1(s.toUtf8().toPercentEncoding(" :.*?"));
            };
            QFAIL(qPrintable(QStringLiteral("field %1 holds \"%2\", expected \"%3\"")
                                 .arg(i + 1)
                                 .arg(shown(got), shown(fields[i]))));
        }
    }
    // The other column and the check boxes are not touched.
    for (int i = 0; i < kSlotCount; ++i) {
        if (column == Column::Times)
            QCOMPARE(h.fileName(i)->text(), names[i]);
        else
            QCOMPARE(h.time(i)->text(), times[i]);
    }
    QCOMPARE(h.enabledStates(), checks);
    // The box, if any.
    if (box.isEmpty()) {
        QVERIFY2(fake.boxes.shown.empty(), qPrintable(fake.boxes.texts().join(u'|')));
    } else {
        QCOMPARE(fake.boxes.shown.size(), size_t(1));
        QVERIFY2(fake.boxes.shown[0].text.startsWith(box), qPrintable(fake.boxes.shown[0].text));
        QCOMPARE(fake.boxes.shown[0].caption, QStringLiteral("Anunciel"));
    }
    // Loading wrote nothing.
    QCOMPARE(snapshot(dir.path()), before);

    // Whether the scheduler finds the loaded name's file (an undue time, so nothing is sent).
    if (slot1Found >= 0) {
        fake.boxes.shown.clear();
        h.time(0)->setText(QStringLiteral("23:58"));
        fake.clock.set(10, 0, 0);
        h.enabled(0)->setCheckState(Qt::Checked);
        h.s().onSecond();
        if (slot1Found) {
            QVERIFY2(fake.boxes.shown.empty(), qPrintable(fake.boxes.texts().join(u'|')));
            QVERIFY(h.enabled(0)->isChecked());
        } else {
            QCOMPARE(fake.boxes.texts().value(0), QStringLiteral("O arquivo não Existe!"));
            QVERIFY(!h.enabled(0)->isChecked());
        }
        QCOMPARE(link->count("PlayFile"), 0);
        QCOMPARE(snapshot(dir.path()), before);
    }
}

// Field texts the code page cannot hold, saved through the save button: each character it
// lacks is written as one "?", and nothing is dropped. (Found by fuzz_save: unassigned code
// points and lone surrogates used to vanish or be written as the control character 0x1A.)
void TestBadInput::hostileTextSaved_data()
{
    QTest::addColumn<QList<char16_t>>("typed");
    QTest::addColumn<QByteArray>("line");

    using Units = QList<char16_t>;
    QTest::newRow("unassigned code point") << Units{0xAF, 0xFFF5} << QByteArray("\xaf?");
    QTest::newRow("unassigned among halfwidth forms") << Units{0xFF9D, 0xFFF2, 0xFF9B, 0xFB, 'e'}
                                                      << QByteArray("???\xfb"
                                                                    "e");
    QTest::newRow("noncharacters") << Units{'a', 0xFFFE, 0xFFFF, 'b'} << QByteArray("a??b");
    QTest::newRow("lone high surrogate at the end") << Units{'a', 0xD800} << QByteArray("a?");
    QTest::newRow("lone high surrogate before a letter") << Units{0xD800, 'a'} << QByteArray("?a");
    QTest::newRow("lone low surrogate") << Units{'a', 0xDC00, 'b'} << QByteArray("a?b");
    QTest::newRow("pair outside the code page")
        << Units{'x', 0xD83D, 0xDE00, 'y'} << QByteArray("x?y");
    QTest::newRow("control 0x1A kept, CJK replaced") << Units{0x1A, 0x4E2D} << QByteArray("\x1a?");
    QTest::newRow("euro kept, replacement character replaced")
        << Units{0x20AC, 0xFFFD} << QByteArray("\x80?");
}

void TestBadInput::hostileTextSaved()
{
    QFETCH(QList<char16_t>, typed);
    QFETCH(QByteArray, line);

    const WorkingFolder dir;
    Harness h;
    FakePlatform &fake = h.fake;
    QVERIFY(h.start());
    QString text;
    for (char16_t unit : typed)
        text += QChar(unit);
    h.fileName(1)->setText(text);
    QCOMPARE(h.fileName(1)->text(), text);

    h.press("Command5");
    QVERIFY2(fake.boxes.shown.empty(), qPrintable(fake.boxes.texts().join(u'|')));
    QFile file(kNamesFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("\r\n") + line + "\r\n\r\n\r\n");
}

QTEST_MAIN(TestBadInput)
#include "test_badinput.moc"
