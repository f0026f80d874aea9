// How the reliability fixture programs tell the test they are ready: by
// setting the named event the test created and waits on.
#pragma once
#include <windows.h>

inline bool signalReady(const char* eventName)
{
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, eventName);
    if (!ready)
        return false;
    SetEvent(ready);
    CloseHandle(ready);
    return true;
}
