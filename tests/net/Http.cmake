vaskimo_test(HttpReplyTest SOURCES HttpReplyTest.cpp LIBS net)
vaskimo_test(HttpRequestTest SOURCES HttpRequestTest.cpp LIBS net)
# The client test needs the socket layers built into net.
get_target_property(_http_net_sources net SOURCES)
list(FILTER _http_net_sources INCLUDE REGEX "WSocketLayers\\.cpp$")
if(_http_net_sources)
  vaskimo_test(HttpProtTest SOURCES HttpProtTest.cpp HttpPeers.h LIBS net)
endif()
