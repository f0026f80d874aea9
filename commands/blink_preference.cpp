#include "blink_preference.h"

#include "../app/application.h"
#include "../app/tray_window.h"
#include "../base/handles.h"
#include "../res/resource.h"

bool blinkFromStoredValue(bool readSucceeded, DWORD size, DWORD value)
{
    return !(readSucceeded && size == sizeof(DWORD) && value == 0);
}

bool blinkInForce(const DwordPolicy& policy, bool userBlinks)
{
    return policy.set ? policy.value != 0 : userBlinks;
}

bool readStoredBlinkPreference()
{
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, BLINK_KEY, 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS)
        return true;
    DWORD value = 1;
    DWORD size = sizeof value;
    bool ok = RegQueryValueExA(key.get(), BLINK_VALUE, nullptr, nullptr,
                               reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS;
    return blinkFromStoredValue(ok, size, value);
}

void writeBlinkPreference(bool blink)
{
    UniqueRegKey key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, BLINK_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return;
    DWORD value = blink ? 1 : 0;
    RegSetValueExA(key.get(), BLINK_VALUE, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
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
