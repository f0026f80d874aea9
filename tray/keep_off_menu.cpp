// "Keep Off While": an owner-drawn entry for each listed program, as its
// neighbours are drawn, then "Add Running Program...". Made afresh each time
// the submenu opens, from the list in force then.
#include <string.h>

#include "../app/application.h"
#include "../app/tray_window.h"
#include "../base/text.h"
#include "../res/resource.h"
#include "menu_metrics.h"
#include "menu_rules.h"

void TrayWindow::rebuildKeepOffMenu(HMENU menu)
{
    // Read again: on the 95 family nothing announces the user's list's change.
    DWORD listed = keepOff.rules.key;
    readKeepOffRules(keepOff.rules);
    if (keepOff.rules.key != listed)
        checkKeepOff(true);
    // The last opening's entries go before what they point at.
    while (GetMenuItemCount(menu) > 0 && GetMenuItemID(menu, 0) != IDM_ADD_RUNNING)
        DeleteMenu(menu, 0, MF_BYPOSITION);
    listedItems.reset();
    listedItemCount = 0;
    UINT count = keepOff.rules.count;
    listedItems.reset(count ? allocateZeroedBlock(count * sizeof(ListedItemRecord)) : nullptr);
    if (!listedItems)
        return;
    ListedItemRecord* records = static_cast<ListedItemRecord*>(listedItems.get());
    // Checked: what runs while Dormity holds the screen saver off for it.
    UniqueBlock running(keepOff.state == KEEP_OFF_HOLDING ? allocateZeroedBlock(count) : nullptr);
    if (running) {
        RunningScan look;
        KeepOffTarget noTargets[KEEP_OFF_MAX_TARGETS] = {};
        scanRunningPrograms(keepOff.lister, keepOff.rules, noTargets, look,
                            static_cast<bool*>(running.get()));
    }
    MenuContext context = menuContext(false);
    UINT width = menuLayout.ruleWidth;
    {
        CaptionMeasure measure(window, menuLayout.font);
        for (UINT i = 0; i < count; ++i) {
            ListedItemRecord& record = records[i];
            copyText(record.program, sizeof record.program, keepOff.rules.at(i)->text);
            captionOfProgram(record.program, record.caption,
                             sizeof record.caption / sizeof record.caption[0]);
            record.held = running && static_cast<const bool*>(running.get())[i];
            record.item.id = IDM_KEEPOFF_FIRST + i;
            // Heard as written: the caption's doubled "&" reads as one.
            setItemName(record.item.name, record.caption);
            UINT need = drawnItemWidth(measure.width(record.program), menuLayout.geometry, true);
            width = need > width ? need : width;
        }
    }
    for (UINT i = 0; i < count; ++i) {
        records[i].item.width = width;
        UINT state = listedProgramLook(records[i], context).state;
        InsertMenuA(menu, i, MF_BYPOSITION | MF_OWNERDRAW | state, records[i].item.id,
                    reinterpret_cast<LPCSTR>(&records[i]));
    }
    // Dark menus draw their own separators.
    InsertMenuA(menu, count, MF_BYPOSITION | MF_SEPARATOR | (menuDark ? MF_OWNERDRAW : 0), 0,
                nullptr);
    listedItemCount = count;
}
