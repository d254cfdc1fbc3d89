# HTTP client: request lines, reply parser, authentication decisions and THttpCli over TWSocket.
target_sources(net PRIVATE
  HttpReply.h HttpReply.cpp
  HttpRequest.h HttpRequest.cpp
  HttpAuth.h HttpAuth.cpp
  HttpProt.h HttpProt.cpp HttpProtAuth.cpp
)
