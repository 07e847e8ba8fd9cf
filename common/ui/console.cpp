#include "common/ui/console.h"

#ifdef _WIN32
#include <windows.h>

#include <cstdio>
#endif

namespace ov::desktop {

#ifdef _WIN32
namespace {

bool leadsNowhere(DWORD stream) {
    HANDLE h = GetStdHandle(stream);
    return h == nullptr || h == INVALID_HANDLE_VALUE || GetFileType(h) == FILE_TYPE_UNKNOWN;
}

}  // namespace

void useStartingConsole() {
    const bool out = leadsNowhere(STD_OUTPUT_HANDLE);
    const bool err = leadsNowhere(STD_ERROR_HANDLE);
    if ((!out && !err) || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
    // The C runtime's streams are what Qt's --help and the programs' messages use.
    if (out) std::freopen("CONOUT$", "w", stdout);
    if (err) std::freopen("CONOUT$", "w", stderr);
}
#else
void useStartingConsole() {}
#endif

}  // namespace ov::desktop
