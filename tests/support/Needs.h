// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: what a test needs from the machine (a peer program, Wine, root, a mount): a named skip where it is missing, a failure in a run that allows no skip.
//
// Usage, in a test body or SetUp:
//   VASKIMO_NEED_PROGRAM("fdupes", "fdupes");                  // on PATH, else "fdupes is not installed (Debian package fdupes)"
//   VASKIMO_NEED_WINE();
//   VASKIMO_NEED(getuid() == 0, "needs root: a mount namespace of its own");
//   if (!StartSquid(squid) && squid.Missing()) VASKIMO_MISSING(squid.Why());
//
// A skipped case is a check that did not run. CI and scripts/test.sh install every peer and run as
// root, so there a missing thing is a fault of the machine or of the set-up, and the run must fail
// rather than report a pass for what it never tried. Elsewhere (a developer's ctest) the skip names
// what is missing, and the test program ends with SkippedExitCode, which ctest lists as not run.
#pragma once

#include "support/WineTools.h"

#include <QStandardPaths>
#include <QString>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace TestSupport {

// ctest's SKIP_RETURN_CODE of every test program.
inline constexpr int SkippedExitCode = 77;

// CI=true, or VASKIMO_TESTS_NO_SKIPS=1 (scripts/test.sh sets it).
inline bool SkipsFail()
{
    return qEnvironmentVariable("CI") == QLatin1String("true") || qEnvironmentVariable("VASKIMO_TESTS_NO_SKIPS") == QLatin1String("1");
}

inline std::string NeedText(const QString &what) { return what.toStdString(); }
inline std::string NeedText(std::string what) { return what; }
inline std::string NeedText(const char *what) { return what; }

// The end of a test program: gtest's result, except that a run where a case skipped is no pass
// (a failure where skips fail, else SkippedExitCode), nor a run where no case was selected.
inline int EndOfRun(int gtestResult)
{
    const ::testing::UnitTest &unit = *::testing::UnitTest::GetInstance();
    if (gtestResult != 0)
        return gtestResult;
    if (GTEST_FLAG_GET(list_tests))
        return 0;
    if (unit.test_to_run_count() == 0) {
        std::fprintf(stderr, "No test case was selected: nothing was checked.\n");
        return 1;
    }
    if (unit.skipped_test_count() == 0)
        return 0;
    if (SkipsFail()) {
        std::fprintf(stderr, "%d case(s) skipped in a run that allows no skip (CI or scripts/test.sh).\n", unit.skipped_test_count());
        return 1;
    }
    return SkippedExitCode;
}

}  // namespace TestSupport

// Ends the case: what is missing fails it where skips fail, else skips it with that reason.
#define VASKIMO_MISSING(what)                                                                              \
    do {                                                                                                   \
        const std::string vaskimoMissing_ = TestSupport::NeedText(what);                                   \
        if (TestSupport::SkipsFail())                                                                      \
            FAIL() << vaskimoMissing_ << " (a run that allows no skip: CI or scripts/test.sh)";            \
        GTEST_SKIP() << vaskimoMissing_;                                                                   \
    } while (false)

#define VASKIMO_NEED(have, what)                                                                           \
    do {                                                                                                   \
        if (!(have))                                                                                       \
            VASKIMO_MISSING(what);                                                                         \
    } while (false)

// A program found on PATH, as the tests start it.
#define VASKIMO_NEED_PROGRAM(program, package)                                                             \
    VASKIMO_NEED(!QStandardPaths::findExecutable(QStringLiteral(program)).isEmpty(),                       \
                 program " is not installed (Debian package " package ")")

#define VASKIMO_NEED_WINE()                                                                                \
    do {                                                                                                   \
        QString vaskimoWhy_;                                                                               \
        VASKIMO_NEED(TestSupport::WineInstalled(&vaskimoWhy_), vaskimoWhy_);                               \
    } while (false)
