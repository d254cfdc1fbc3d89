# SPDX-License-Identifier: GPL-2.0-or-later
# Summary: tests of URL splitting, content codings, NTLM messages, MD4, DES and MIME Base64.
vaskimo_test(IcsUrlTest SOURCES IcsUrlTest.cpp LIBS net)
vaskimo_test(HttpContCodTest SOURCES HttpContCodTest.cpp LIBS net)
vaskimo_test(IcsNtlmMsgsTest SOURCES IcsNtlmMsgsTest.cpp LIBS net)
vaskimo_test(IcsMD4Test SOURCES IcsMD4Test.cpp LIBS net)
vaskimo_test(IcsDESTest SOURCES IcsDESTest.cpp LIBS net)
vaskimo_test(MimeUtilTest SOURCES MimeUtilTest.cpp LIBS net)
