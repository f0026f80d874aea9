// The command handlers the window procedure runs itself. Each one reads the
// system afresh: the broadcasts re-enter the window procedure, so nothing is
// kept across them.
#include "application.h"
#include "tray_window.h"

void TrayWindow::toggleSaverActive()
{
    if (isSaverActive()) {
        playEventSound(SOUND_DISABLE);
        setSaverActive(false);
        showSaverState(false);
    } else {
        playEventSound(SOUND_ENABLE);
        setSaverActive(true);
        showSaverState(true);
    }
}

void TrayWindow::togglePassword()
{
    SaverFamily current = family();
    PasswordValues values = readPasswordValues(current);
    if (current == FAMILY_95) {
        if (values.usePassword == 1) {
            playEventSound(SOUND_PASS_DISABLE);
            writePasswordEnabled(FAMILY_95, false);
        } else {
            playEventSound(SOUND_PASS_ENABLE);
            // No password stored yet: the screen saver asks for one.
            if (values.passwordData == 0)
                changePassword();
            writePasswordEnabled(FAMILY_95, true);
        }
    } else {
        if (values.isSecure != 0) {
            playEventSound(SOUND_PASS_DISABLE);
            writePasswordEnabled(FAMILY_NT, false);
        } else {
            playEventSound(SOUND_PASS_ENABLE);
            writePasswordEnabled(FAMILY_NT, true);
        }
    }
    broadcastSettingsChange();
}

void TrayWindow::changePasswordCommand()
{
    changePassword();
    // The password dialog is still open here; with nothing stored so far,
    // password use is switched off until the user has set one.
    if (readPasswordValues(FAMILY_95).passwordData == 0)
        writePasswordEnabled(FAMILY_95, false);
}

void TrayWindow::selectNoSaver()
{
    clearCurrentSaver(family());
    broadcastSettingsChange();
}

void TrayWindow::selectSaver(WORD id)
{
    playEventSound(SOUND_SELECT);
    for (const SaverEntry* entry = saverList; entry; entry = entry->next) {
        if (entry->menuId == id) {
            writeCurrentSaver(family(), entry->fileName);
            break;
        }
    }
    broadcastSettingsChange();
}

void TrayWindow::onSettingsChange()
{
    bool active = isSaverActive();
    if ((owner->flags & APP_SAVER_ACTIVE) && !active)
        showSaverState(false);
    else if (!(owner->flags & APP_SAVER_ACTIVE) && active)
        showSaverState(true);
    rebuildSaverMenu();
}
