// Where the analyzer's log records go in a host that has no Boost.Log of its
// own to configure: to one C callback, or nowhere.
#pragma once

#include "qlx5100/qlx5100.h"

namespace qlx5100capi {

// Puts the library's sink on the Boost.Log core, once per process. Until a
// callback is set the sink turns every record away, which keeps Boost.Log's
// default sink (every record on the console) out and the records unmade.
void installLogSink();

// Replaces the callback and its user pointer as one pair; NULL fn: none.
void setLogCallback(qlx5100_log_fn fn, void* user);

}  // namespace qlx5100capi
