// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the update window's HTTP client: THttpCli behind the small interface the window uses.
#pragma once

#include "net/UpdateInfo.h"

#include <memory>

namespace UpdateHttp {
// A client with the update window's settings: agent "Mozilla/3.0 (compatible)", request version
// "1.0", relocations followed up to 5. Its Get fails for every reply that did not deliver the whole
// document: a status of 400 or more, a 401 or 407 that the authentication could not answer, a body
// shorter than its "Content-Length", a connection error, an abort, a document or a wait past the
// limits. Its error text is the server's status or the client's own reason.
std::unique_ptr<UpdateInfo::TUpdateHttp> CreateClient();
}
