#include "blink_preference.h"

#include "../app/application.h"
#include "../app/tray_window.h"
#include "../base/handles.h"
#include "../res/resource.h"

bool storedPreference(bool readSucceeded, DWORD size, DWORD value, bool byDefault)
{
    return readSucceeded && size == sizeof(DWORD) ? value != 0 : byDefault;
}

bool preferenceInForce(const DwordPolicy& policy, bool userChoice)
{
    return policy.set ? policy.value != 0 : userChoice;
}

bool readStoredPreference(const char* name, bool byDefault, REGSAM access)
{
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, BLINK_KEY, 0, access, key.put()) != ERROR_SUCCESS)
        return byDefault;
    DWORD value = 0;
    DWORD size = sizeof value;
    bool ok = RegQueryValueExA(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                               &size) == ERROR_SUCCESS;
    return storedPreference(ok, size, value, byDefault);
}

void writeStoredPreference(const char* name, bool on, REGSAM access)
{
    UniqueRegKey key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, BLINK_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                        nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return;
    DWORD value = on ? 1 : 0;
    RegSetValueExA(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                   sizeof value);
}

void applyBlinkPreference(Application& app, bool blink)
{
    TrayWindow* tray = app.trayWindow;
    bool disabled = (app.flags & APP_SAVER_ACTIVE) == 0;
    if (blink) {
        if (disabled && tray)
            tray->startBlink();
        app.flags |= APP_BLINK;
    } else {
        if (disabled && tray) {
            // Stops a blinking icon on the disabled image.
            tray->stopBlink();
            tray->setTrayIcon(IDI_SAVER_OFF);
        }
        app.flags &= ~APP_BLINK;
    }
}
