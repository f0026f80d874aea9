// Resource and command identifiers shared by the resource script and the code.
// Values are fixed: other programs (and the installer) send some of them.
#pragma once

#include "string_ids.h"

// Menu
#define IDR_TRAYMENU        102

// Icons
#define IDI_SAVER_ON        104
#define IDI_PROPERTIES      109
#define IDI_LAUNCH          110
#define IDI_CONFIGURE       111
#define IDI_CHECK           113
#define IDI_SETSAVER        114
#define IDI_PASSWORD        119
#define IDI_TIMEOUT         120
#define IDI_SAVER_OFF       122
#define IDI_LOCK            127

// Dialogs
#define IDD_ABOUT           117
#define IDD_TIMEOUT         124
#define IDD_PICKER          130

// Menu commands
#define IDM_CONFIGURE       403
#define IDM_PROPERTIES      404
#define IDM_ABOUT           406
#define IDM_EXIT            407
#define IDM_LAUNCH          408
#define IDM_SAVERMENU       409
#define IDM_SETSAVER        410
#define IDM_TOGGLE          411
#define IDM_TIMEOUT         412
#define IDM_PASSWORD        413
#define IDM_CHANGEPASSWORD  414
#define IDM_PASSWORDMENU    415
#define IDM_LOCK            416
#define IDM_DISABLEMENU     417
// The greyed line that says why items are greyed, present only while a policy applies.
#define IDM_MANAGED         418
#define IDM_DISABLE_15      420
#define IDM_DISABLE_30      421
#define IDM_DISABLE_60      422
#define IDM_DISABLE_120     423
#define IDM_DISABLE_240     424
// "Keep Off While": its submenu item, "Add Running Program..." and the
// listed programs, one id each from the first, in the list's order.
#define IDM_KEEPOFFMENU     419
#define IDM_ADD_RUNNING     425
#define IDM_KEEPOFF_FIRST   3000
#define IDM_KEEPOFF_LAST    3999
#define IDM_NONE            4000

// Dialog controls
#define IDC_SYSINFO         1000
#define IDC_OK              1003
#define IDC_MINUTES         1007
#define IDC_SECONDS         1008
#define IDC_CANCEL          1009
#define IDC_BLINK           1010
#define IDC_CHANGELOG       1011
#define IDC_VERSION         1012
#define IDC_TIMEBOX         1013
#define IDC_COLON           1014
#define IDC_KEEP_DISPLAY_ON 1015
#define IDC_PICKER_LIST     1016
#define IDC_PICKER_EMPTY    1017
#define IDC_PICKER_PROMPT   1018
// The texts the dialogs read in the language spoken, set as they open.
#define IDC_PROMPT          1030
#define IDC_LABEL           1031
#define IDC_TITLE           1032
#define IDC_CREDIT          1033

// Version
#define DORMITY_VERSION_TEXT "2.06.00"
