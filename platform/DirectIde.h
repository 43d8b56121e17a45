// Whether this machine can take a direct-IDE package, and if not, why: Linux has no flash driver
// for it, and the driver is a 32-bit kernel driver a 64-bit Windows cannot load (its file would
// go to the folder WOW64 redirects a 32-bit program to, and load from nowhere).
#pragma once

namespace platform {

enum class DirectIde { Available, NoDriverForSystem, SixtyFourBitWindows };

}  // namespace platform
