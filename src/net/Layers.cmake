# SOCKS, line and synchronous socket layers; the connection detector.
target_sources(net PRIVATE
  INetDetect.h INetDetect.cpp
  SocksMessages.h SocksMessages.cpp
  WSocketLayers.h WSocketLayers.cpp
)
