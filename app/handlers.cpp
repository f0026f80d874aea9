// The command handlers the window procedure runs itself. Each one reads the
// system afresh: the broadcasts re-enter the window procedure, so nothing is
// kept across them. Each first asks the policy (read as its command came),
// so that whatever calls it (the menu, a WM_COMMAND from elsewhere, the
// command line, a timer) changes nothing a policy holds.
#include "application.h"
#include "tray_window.h"
#include "../commands/blink_preference.h"
#include "../commands/timed_disable.h"
#include "../res/resource.h"

void TrayWindow::enableSaver()
{
    if (policyEndsTimedDisable())
        return;
    playEventSound(SOUND_ENABLE);
    setSaverActive(true);
    showSaverState(true);
    updateDisplayRequest();
}

void TrayWindow::disableSaver()
{
    if (policyEndsTimedDisable())
        return;
    playEventSound(SOUND_DISABLE);
    // Before the flag's broadcast comes back here: it is Dormity's doing.
    dormityHoldsOff = true;
    setSaverActive(false);
    showSaverState(false);
    updateDisplayRequest();
}

void TrayWindow::toggleSaverActive()
{
    if (policyEndsTimedDisable() || refuses(IDM_TOGGLE))
        return;
    keepOffUserChose();
    if (isSaverActive()) {
        disableSaver();
    } else {
        enableSaver();
    }
    // Either way a pending time is over: enabled now, or disabled for good.
    forgetTimedDisable();
}

void TrayWindow::enableCommand()
{
    if (policyEndsTimedDisable() || refuses(IDM_TOGGLE))
        return;
    keepOffUserChose();
    if (!isSaverActive())
        enableSaver();
    forgetTimedDisable();
}

void TrayWindow::disableCommand()
{
    if (policyEndsTimedDisable() || refuses(IDM_TOGGLE))
        return;
    keepOffUserChose();
    if (isSaverActive())
        disableSaver();
    // Off for good: a pending time no longer ends it.
    forgetTimedDisable();
}

void TrayWindow::disableForMinutes(DWORD minutes)
{
    startTimedDisable(currentFileTime() + minutes * FILETIME_TICKS_PER_MINUTE,
                      choiceForTimeLeft(minutes * 60000ULL));
}

bool TrayWindow::disableUntilClock(DWORD clockMinutes)
{
    ULONGLONG now = currentFileTime();
    ULONGLONG endsAt = 0;
    if (!nextClockTime(now, nullptr, clockMinutes, &endsAt))
        return false;
    startTimedDisable(endsAt, choiceForTimeLeft(timeLeftMs(endsAt, now)));
    return true;
}

void TrayWindow::disableFor(UINT choice)
{
    // The menu's durations are each their own choice.
    disableForMinutes(disableMinutes(choice));
}

void TrayWindow::startTimedDisable(ULONGLONG endsAt, UINT choice)
{
    // A time already pending stays while nothing may change: its end only
    // puts back what was there before.
    if (policyEndsTimedDisable() || refuses(IDM_DISABLE_15))
        return;
    keepOffUserChose();
    disableSaver();
    // Remembered here too: a failed write, or the value deleted by another
    // program, must not keep the screen saver off for good. Only a crash
    // loses this copy. What a failed write left stored is older, and loses.
    unreplacedEnableAt = writeEnableAt(endsAt) ? StoredEnableAt() : readEnableAt();
    enableAt = endsAt;
    timedChoice = choice;
    checkTimedDisable();
}

void TrayWindow::checkTimedDisable()
{
    if (policyEndsTimedDisable())
        return;
    TimedCheck check =
        timedDisableStep(readEnableAt(), enableAt, isSaverActive(), currentFileTime(),
                         unreplacedEnableAt);
    switch (check.step) {
    case TIMED_FORGET:
        forgetTimedDisable();
        break;
    case TIMED_ENABLE:
        enableSaver();
        forgetTimedDisable();
        break;
    case TIMED_WAIT:
        enableAt = check.endsAt;
        if (!timedChoice)
            timedChoice = choiceForTimeLeft(check.waitMs);
        // Replaces a timer already armed.
        SetTimer(window, IDT_ENABLE, check.waitMs, nullptr);
        updateTrayTip();
        break;
    }
}

void TrayWindow::forgetTimedDisable()
{
    deleteEnableAt();
    KillTimer(window, IDT_ENABLE);
    bool shown = enableAt != 0;
    enableAt = 0;
    unreplacedEnableAt = StoredEnableAt();
    timedChoice = 0;
    if (shown)
        updateTrayTip();
}

bool TrayWindow::policyEndsTimedDisable()
{
    if (!(policyFlags(policy) & POLICY_ACTIVE))
        return false;
    forgetTimedDisable();
    return true;
}

void TrayWindow::endTimedDisable()
{
    if (!enableAt && !readEnableAt().present)
        return;
    if (!isSaverActive())
        enableSaver();
    forgetTimedDisable();
}

void TrayWindow::togglePassword()
{
    if (refuses(IDM_PASSWORD))
        return;
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
    if (refuses(IDM_CHANGEPASSWORD))
        return;
    changePassword();
    // The password dialog is still open here; with nothing stored so far,
    // password use is switched off until the user has set one.
    if (readPasswordValues(FAMILY_95).passwordData == 0)
        writePasswordEnabled(FAMILY_95, false);
}

void TrayWindow::selectNoSaver()
{
    if (refuses(IDM_NONE))
        return;
    clearCurrentSaver(family());
    broadcastSettingsChange();
}

void TrayWindow::selectSaver(WORD id)
{
    if (refuses(id))
        return;
    playEventSound(SOUND_SELECT);
    for (const SaverEntry* entry = saverList; entry; entry = entry->next) {
        if (entry->menuId == id) {
            writeCurrentSaver(family(), entry->fileName);
            break;
        }
    }
    broadcastSettingsChange();
}

void TrayWindow::readPolicy()
{
    policy = readPolicyState();
}

void TrayWindow::onSettingsChange()
{
    // Also while the menu is open: its items are drawn by the new one.
    readPolicy();
    // A policy on the blink may have come or gone (Group Policy announces
    // its refresh with this message).
    bool blink = readBlinkPreference();
    if (blink != ((owner->flags & APP_BLINK) != 0))
        applyBlinkPreference(*owner, blink);
    bool active = isSaverActive();
    // On again by anyone: a listed program running now is the user's to
    // keep the screen saver on for.
    bool turnedOn = active && !(owner->flags & APP_SAVER_ACTIVE);
    if ((owner->flags & APP_SAVER_ACTIVE) && !active)
        showSaverState(false);
    else if (!(owner->flags & APP_SAVER_ACTIVE) && active)
        showSaverState(true);
    else if (!active && blinking != blinksWhileOff())
        showSaverState(false);  // a policy came to keep it off, or went: the blink follows
    // Enabled by anyone at all, or held by a policy: no time is pending.
    if (!policyEndsTimedDisable() && active)
        forgetTimedDisable();
    // The list may have changed where nothing announces it: a policy's
    // (Group Policy announces its refresh with this message), or the user's
    // on the 95 family.
    DWORD listed = keepOff.rules.key;
    readKeepOffRules(keepOff.rules);
    checkKeepOff(turnedOn || keepOff.rules.key != listed, turnedOn);
    updateDisplayRequest();
    rebuildSaverMenu();
}
