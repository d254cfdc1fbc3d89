# SOCKS, line and synchronous socket layers; the connection detector.
vaskimo_test(INetDetectTest SOURCES INetDetectTest.cpp LIBS net)
vaskimo_test(SocksMessagesTest SOURCES SocksMessagesTest.cpp LIBS net)
vaskimo_test(WSocketLayersTest SOURCES WSocketLayersTest.cpp LayersPeers.h LIBS net)
