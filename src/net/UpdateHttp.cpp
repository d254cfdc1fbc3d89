// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the update window's HTTP client over THttpCli.
#include "net/UpdateHttp.h"

namespace UpdateHttp {
std::unique_ptr<UpdateInfo::TUpdateHttp> CreateClient() { return nullptr; }
}
