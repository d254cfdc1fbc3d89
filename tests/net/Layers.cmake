# SOCKS, line and synchronous socket layers; the connection detector.
vaskimo_test(INetDetectTest SOURCES INetDetectTest.cpp LIBS net)
vaskimo_test(SocksMessagesTest SOURCES SocksMessagesTest.cpp LayersPeers.h LIBS net)
vaskimo_test(WSocketLayersTest SOURCES WSocketLayersTest.cpp LayersPeers.h LIBS net)
vaskimo_test(SocksPeersTest SOURCES SocksPeersTest.cpp LayersPeers.h LIBS net)
