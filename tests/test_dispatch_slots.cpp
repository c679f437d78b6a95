// The binding through IDispatch: which member of the node's type information is each
// operation, by its place in the function table.

#include "link/win/DispatchSlots.h"

#include <QtTest>

using namespace anunciel::win;

namespace {

constexpr int kMissing = -1;

// The node interface as a 32-bit type library describes it (4-byte entries): placeholders
// around the four operations, dispatch numbers in no order, a name-alike decoy elsewhere.
std::vector<MemberDescription> nodeMembers(std::size_t entrySize)
{
    const auto at = [entrySize](long slot) { return static_cast<long>(slot * entrySize); };
    return {{71, MemberKind::Method, at(7)},        {40, MemberKind::PropertyWrite, at(12)},
            {31, MemberKind::PropertyRead, at(13)}, {141, MemberKind::Method, at(14)},
            {17, MemberKind::PropertyRead, at(16)}, {99, MemberKind::PropertyWrite, at(17)},
            {241, MemberKind::Method, at(24)},      {5, MemberKind::Method, at(25)}};
}

} // namespace

class TestDispatchSlots : public QObject
{
    Q_OBJECT

private slots:
    void slotOfOffset_data()
    {
        QTest::addColumn<int>("system"); // the library's SYSKIND
        QTest::addColumn<long>("offset");
        QTest::addColumn<int>("slot");
        QTest::newRow("32-bit, slot 12") << 1 << 48L << 12;
        QTest::newRow("32-bit, slot 25") << 1 << 100L << 25;
        QTest::newRow("64-bit, slot 12") << 3 << 96L << 12;
        QTest::newRow("64-bit, slot 25") << 3 << 200L << 25;
        QTest::newRow("32-bit offset read as 64-bit") << 3 << 100L << kMissing;
        QTest::newRow("16-bit, slot 7") << 0 << 28L << 7;
        QTest::newRow("inside an entry") << 1 << 50L << kMissing;
        QTest::newRow("negative") << 1 << -4L << kMissing;
    }
    void slotOfOffset()
    {
        QFETCH(int, system);
        QFETCH(long, offset);
        QFETCH(int, slot);
        const auto found = slotAt(offset, tableEntrySize(system));
        QCOMPARE(found ? static_cast<int>(*found) : kMissing, slot);
    }

    void memberOfSlot_data()
    {
        QTest::addColumn<int>("libraryEntry"); // the entry size the library was made with
        QTest::addColumn<int>("readEntry");    // the one the binding reads it with
        QTest::addColumn<int>("slot");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("id");
        const int write = int(MemberKind::PropertyWrite), read = int(MemberKind::PropertyRead),
                  method = int(MemberKind::Method);
        QTest::newRow("SetTransmit") << 4 << 4 << 12 << write << 40;
        QTest::newRow("IpBusy") << 4 << 4 << 13 << read << 31;
        QTest::newRow("RfBusy") << 4 << 4 << 16 << read << 17;
        QTest::newRow("PlayFile") << 4 << 4 << 25 << method << 5;
        QTest::newRow("PlayFile, 64-bit library") << 8 << 8 << 25 << method << 5;
        QTest::newRow("32-bit library read as 64-bit: none") << 4 << 8 << 12 << write << kMissing;
        QTest::newRow("wrong kind at the slot: none") << 4 << 4 << 13 << method << kMissing;
        QTest::newRow("no member at the slot: none") << 4 << 4 << 15 << method << kMissing;
    }
    void memberOfSlot()
    {
        QFETCH(int, libraryEntry);
        QFETCH(int, readEntry);
        QFETCH(int, slot);
        QFETCH(int, kind);
        QFETCH(int, id);
        const auto found = memberAtSlot(nodeMembers(std::size_t(libraryEntry)), std::size_t(slot),
                                        std::size_t(readEntry), MemberKind(kind));
        QCOMPARE(found ? static_cast<int>(found->id) : kMissing, id);
    }

    void writeByReferenceServesAWrite()
    {
        const std::vector<MemberDescription> members{{8, MemberKind::PropertyWriteRef, 48}};
        const auto found = memberAtSlot(members, 12, 4, MemberKind::PropertyWrite);
        QVERIFY(found);
        QCOMPARE(found->kind, MemberKind::PropertyWriteRef);
    }
};

QTEST_GUILESS_MAIN(TestDispatchSlots)
#include "test_dispatch_slots.moc"
