// Off by itself while listed programs run, and the switch that asks for it
// once: the handlers, around the decision of commands/keep_off.h.
#include <string.h>

#include "../base/text.h"
#include "../commands/blink_preference.h"
#include "../commands/display_request.h"
#include "../res/resource.h"
#include "application.h"
#include "tray_window.h"

namespace {

typedef LONG(WINAPI* NotifyChangeFunction)(HKEY key, BOOL subtree, DWORD filter, HANDLE event,
                                            BOOL asynchronous);

} // namespace

void TrayWindow::startKeepOff()
{
    prepareProcessLister(keepOff.lister);
    keepOff.canList = canListProcesses(keepOff.lister);
    watchKeepOffList();
    readKeepOffRules(keepOff.rules);
    // Held by a Dormity that ended without bringing it back: held on while
    // its program (or a listed one) runs, else back now.
    char program[SAVER_PATH_SIZE];
    if (readKeptOffFor(program)) {
        keepOff.state = KEEP_OFF_HOLDING;
        KeepOffTarget& target = keepOff.targets[0];
        target.set = readProgramText(program, textLength(program), &target.rule);
        target.byId = false;
    }
    checkKeepOff(true);
}

void TrayWindow::watchKeepOffList()
{
    KeepOffWatch& w = keepOff;
    // The 95 family cannot tell: there the list is read again as the menu
    // opens and at each settings change.
    NotifyChangeFunction notify
        = findLoadedFunction<NotifyChangeFunction>("advapi32.dll", "RegNotifyChangeKeyValue");
    if (!notify)
        return;
    if (!w.keyChanged)
        w.keyChanged.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    const DWORD changes = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;
    // Watched again on the key still open: closing a watched key sets the
    // event, which would bring this back at once.
    if (w.keyChanged && w.watchedKey
        && notify(w.watchedKey.get(), FALSE, changes, w.keyChanged.get(), TRUE) == ERROR_SUCCESS)
        return;
    // Made when missing (also after someone deleted it), so that there is a
    // key whose changes can be watched; the deleted one's closing may set the
    // event once more, which costs one reading.
    RegCreateKeyExA(HKEY_CURRENT_USER, BLINK_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_NOTIFY,
                    nullptr, w.watchedKey.put(), nullptr);
    if (!w.keyChanged || !w.watchedKey
        || notify(w.watchedKey.get(), FALSE, changes, w.keyChanged.get(), TRUE) != ERROR_SUCCESS) {
        w.watchedKey.reset();
        w.keyChanged.reset();
    }
}

void TrayWindow::checkKeepOff(bool scan, bool userChose, int asking)
{
    KeepOffWatch& w = keepOff;
    if (scan) {
        bool wasRunning = w.scan.running;
        char name[SAVER_PATH_SIZE];
        copyText(name, sizeof name, w.scan.name);
        scanRunningPrograms(w.lister, w.rules, w.targets, w.scan);
        // A look that failed tells nothing: the last one stands, and the
        // next is soon.
        if (!w.scan.listed && w.canList) {
            w.scan.running = wasRunning;
            copyText(w.scan.name, sizeof w.scan.name, name);
            w.scan.unwaited = true;
        }
    }
    bool switchAsks = asking >= 0 && w.scan.targetRunning[asking];
    KeepOffInputs inputs = {w.state, w.scan.running, isSaverActive(), userChose, switchAsks, false};
    KeepOffStep step = keepOffStep(inputs);
    // The policy is read only where something would change, or what
    // Dormity holds would become the policy's.
    if ((step.action != KEEP_OFF_LEAVE || w.state == KEEP_OFF_HOLDING)
        && policyRefuses(IDM_TOGGLE)) {
        inputs.policyHolds = true;
        step = keepOffStep(inputs);
    }
    // A switch's program that has ended is done with; the user's own choice
    // ends every switch's.
    for (int i = 0; i < KEEP_OFF_MAX_TARGETS; ++i) {
        KeepOffTarget& target = w.targets[i];
        bool known = scan && (w.scan.listed || target.byId);
        if (target.set && (userChose || (known && !w.scan.targetRunning[i]))) {
            target.set = false;
            target.process.reset();
        }
    }
    // Decided before the flag changes: the change's broadcast comes back here.
    w.state = step.next;
    switch (step.action) {
    case KEEP_OFF_HOLD:
        writeKeptOffFor(w.scan.name);
        if (switchAsks)
            forgetTimedDisable();
        if (isSaverActive())
            disableSaver();
        break;
    case KEEP_OFF_RELEASE:
        deleteKeptOffFor();
        if (!isSaverActive())
            enableSaver();
        break;
    case KEEP_OFF_FORGET:
        deleteKeptOffFor();
        break;
    case KEEP_OFF_LEAVE:
        break;
    }
    // The clock looks for a start while nothing listed runs and the screen
    // saver is on (while it is off a start changes nothing, and a look as it
    // comes on tells what runs then), and for the end of what cannot be
    // waited for.
    bool poll = w.canList
        && (w.state == KEEP_OFF_IDLE ? w.rules.count > 0 && (owner->flags & APP_SAVER_ACTIVE)
                                     : w.scan.unwaited);
    if (poll != w.timerArmed) {
        if (poll)
            SetTimer(window, IDT_KEEPOFF, KEEP_OFF_POLL_MS, nullptr);
        else
            KillTimer(window, IDT_KEEPOFF);
        w.timerArmed = poll;
    }
    updateTrayTip();
}

void TrayWindow::keepOffUserChose()
{
    checkKeepOff(false, true);
}

void TrayWindow::removeListedProgram(WORD id)
{
    // The entry's own program, as it was listed when the menu opened.
    const ListedItemRecord* records = static_cast<const ListedItemRecord*>(listedItems.get());
    const ListedItemRecord* chosen = nullptr;
    for (UINT i = 0; i < listedItemCount && !chosen; ++i)
        chosen = records[i].item.id == id ? &records[i] : nullptr;
    // The organisation's list is not the user's to change.
    if (!chosen || refuses(id) || listHeldByPolicy())
        return;
    // The list's change, seen by the watch, reads it again.
    removeKeepOffProgram(chosen->program);
    if (!keepOff.keyChanged) {
        readKeepOffRules(keepOff.rules);
        checkKeepOff(true);
    }
}

bool TrayWindow::disableWhile(const char* program)
{
    if (policyRefuses(IDM_TOGGLE))
        return false;
    KeepOffRule rule;
    DWORD processId = 0;
    SwitchProgram kind = readSwitchProgram(program, &rule, &processId);
    int slot = -1;
    for (int i = 0; i < KEEP_OFF_MAX_TARGETS && slot < 0; ++i)
        slot = keepOff.targets[i].set ? -1 : i;
    if (kind == SWITCH_PROGRAM_BAD || slot < 0)
        return false;
    KeepOffTarget& target = keepOff.targets[slot];
    if (kind == SWITCH_PROGRAM_ID) {
        target.process.reset(OpenProcess(SYNCHRONIZE, FALSE, processId));
        if (!target.process)
            return false;
        // The name the tooltip shows, where the system tells it.
        char path[SAVER_PATH_SIZE];
        if (!processFullPath(keepOff.lister, processId, path, sizeof path)
            || !readProgramText(fileNameOfPath(path), textLength(fileNameOfPath(path)), &rule))
            formatText(rule.text, sizeof rule.text, "%u", static_cast<unsigned>(processId));
    }
    target.rule = rule;
    target.byId = kind == SWITCH_PROGRAM_ID;
    target.set = true;
    checkKeepOff(true, false, slot);
    // Not running: the check has let it go, and nothing changed.
    return target.set && keepOff.state == KEEP_OFF_HOLDING;
}

void TrayWindow::endKeepOff()
{
    if (keepOff.state != KEEP_OFF_HOLDING)
        return;
    keepOff.state = KEEP_OFF_IDLE;
    deleteKeptOffFor();
    if (!isSaverActive())
        enableSaver();
}

DWORD TrayWindow::keepOffWaitHandles(HANDLE (&handles)[MAXIMUM_WAIT_OBJECTS])
{
    DWORD count = 0;
    if (keepOff.keyChanged)
        handles[count++] = keepOff.keyChanged.get();
    for (const KeepOffTarget& target : keepOff.targets) {
        if (target.set && target.byId)
            handles[count++] = target.process.get();
    }
    if (keepOff.scan.wait)
        handles[count++] = keepOff.scan.wait.get();
    return count;
}

void TrayWindow::onKeepOffSignal(HANDLE signalled)
{
    if (signalled == keepOff.keyChanged.get()) {
        // Watched again first, so that no change made meanwhile is missed.
        watchKeepOffList();
        readKeepOffRules(keepOff.rules);
    }
    // Otherwise a process has ended: it may have been the last one.
    checkKeepOff(true);
}

void TrayWindow::updateDisplayRequest()
{
    ExecutionStateFunction setState = executionStateFunction();
    // On again, by anyone: Dormity no longer holds it.
    if (owner->flags & APP_SAVER_ACTIVE)
        dormityHoldsOff = false;
    // Not while a policy holds the flag: the screen saver is the
    // organisation's then, nor where it sets when the display goes off.
    bool want = setState && dormityHoldsOff && readKeepDisplayOn() && !displayOffTimeByPolicy()
        && !policyRefuses(IDM_TOGGLE);
    if (want == displayRequested)
        return;
    requestDisplayOn(setState, want);
    displayRequested = want;
}
