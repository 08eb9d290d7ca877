// Whether two character-device nodes lead to one device. A device number names one device on
// the whole machine, except a pseudo-terminal's: each devpts instance (another mount
// namespace's, a container's, a build chroot's) numbers its terminals from 0 again, so for
// those the file system must match as well.
#pragma once

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace norvane::posix {

inline bool SameDevice(const struct stat& a, const struct stat& b) {
    // UNIX98 pseudo-terminal slaves: majors 136 to 143.
    const bool pseudoTerminal = major(a.st_rdev) >= 136 && major(a.st_rdev) <= 143;
    return S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode) && a.st_rdev == b.st_rdev &&
           (!pseudoTerminal || a.st_dev == b.st_dev);
}

}  // namespace norvane::posix
