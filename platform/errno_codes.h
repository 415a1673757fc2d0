#pragma once

#include <cerrno>

namespace quillon {

// errno values saying the disk, or the user's share of it, is full. Not every
// C library knows quotas.
inline bool isDiskFullErrno(int code) {
#ifdef EDQUOT
    if (code == EDQUOT)
        return true;
#endif
    return code == ENOSPC;
}

} // namespace quillon
