// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: anchor of the test-support library; the fixture builders add their own units.
namespace TestSupport {
int Anchor() { return 0; }
}
