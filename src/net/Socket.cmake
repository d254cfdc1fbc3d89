# Socket buffers, logger, asynchronous socket, binding, resolvers and error texts; the descriptor
# layer belongs to platform.
target_sources(net PRIVATE
  WSockBuf.h WSockBuf.cpp
  IcsLogger.h IcsLogger.cpp
  WSocketLibrary.h WSocketLibrary.cpp
  WSocketResolvers.h WSocketResolvers.cpp
  HiddenWindow.h HiddenWindow.cpp
  WSocket.h WSocket.cpp)
target_sources(platform PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/../platform/PosixSocket.h
  ${CMAKE_CURRENT_SOURCE_DIR}/../platform/PosixSocket.cpp)
