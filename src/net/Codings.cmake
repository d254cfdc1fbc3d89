# SPDX-License-Identifier: GPL-2.0-or-later
# Summary: URL parsing, content codings, NTLM messages, MD4, DES and MIME Base64.
target_sources(net PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/IcsUrl.h ${CMAKE_CURRENT_LIST_DIR}/IcsUrl.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HttpContCod.h ${CMAKE_CURRENT_LIST_DIR}/HttpContCod.cpp
  ${CMAKE_CURRENT_LIST_DIR}/IcsNtlmMsgs.h ${CMAKE_CURRENT_LIST_DIR}/IcsNtlmMsgs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/IcsMD4.h ${CMAKE_CURRENT_LIST_DIR}/IcsMD4.cpp
  ${CMAKE_CURRENT_LIST_DIR}/IcsDES.h ${CMAKE_CURRENT_LIST_DIR}/IcsDES.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MimeUtil.h ${CMAKE_CURRENT_LIST_DIR}/MimeUtil.cpp)
