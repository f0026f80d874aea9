// The Windows version as the system reports it to this program (the
// manifest names the versions it knows, so later ones report themselves).
#pragma once
#include <windows.h>
#include <string.h>

// Zero-filled when the call fails, which reads as no version at all.
inline OSVERSIONINFOA reportedVersion()
{
    OSVERSIONINFOA version;
    memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version))
        memset(&version, 0, sizeof version);
    return version;
}
