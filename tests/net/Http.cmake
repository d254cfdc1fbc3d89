vaskimo_test(HttpReplyTest SOURCES HttpReplyTest.cpp LIBS net)
vaskimo_test(HttpRequestTest SOURCES HttpRequestTest.cpp LIBS net)
vaskimo_test(HttpProtTest SOURCES HttpProtTest.cpp HttpPeers.h OddServers.h LIBS net)
