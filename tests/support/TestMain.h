#pragma once

// The main of a test that needs an outside program (rigctld, a sound server): where that is
// missing, the test calls skipAll() and QSKIPs, and the run ends with 77, which CTest shows as
// skipped (SKIP_RETURN_CODE); a failure anywhere still fails it.

#include <QApplication>
#include <QTest>

namespace anunciel::test {

inline bool &allSkipped()
{
    static bool skipped = false;
    return skipped;
}

inline void skipAll()
{
    allSkipped() = true;
}

} // namespace anunciel::test

#define ANUNCIEL_SKIPPABLE_TEST_MAIN(TestClass)                                                    \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        QApplication app(argc, argv);                                                              \
        TestClass test;                                                                            \
        const int failures = QTest::qExec(&test, argc, argv);                                      \
        return failures == 0 && anunciel::test::allSkipped() ? 77 : failures;                      \
    }
