# SPDX-License-Identifier: GPL-2.0-or-later
# Summary: tests of the socket buffers, the logger, the asynchronous socket, resolvers and error texts.
vaskimo_test(WSockBufTest SOURCES WSockBufTest.cpp LIBS net)
vaskimo_test(IcsLoggerTest SOURCES IcsLoggerTest.cpp LIBS net)
vaskimo_test(WSocketTest SOURCES WSocketTest.cpp LIBS net)
vaskimo_test(PeerProcessTest SOURCES PeerProcessTest.cpp PeerProcess.h LIBS net)
