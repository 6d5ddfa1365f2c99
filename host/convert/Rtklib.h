// RTKLIB's header for this program's code. The header defines lock(), unlock() and the like as
// function-like macros, which would rewrite every later use of those names (std::unique_lock's
// `lock`, Qt's and GoogleTest's); the structures are declared by then, so the macros go.
#pragma once

#include <rtklib.h>

#undef thread_t
#undef lock_t
#undef initlock
#undef lock
#undef unlock
