// Identifiers of the texts a user reads, in the string tables of every
// language Dormity speaks (res/lang/*.lang, compiled by make_strings.py).
// The values are fixed: the Sounds control panel of Windows Vista and later
// names the sound events' labels by them ("@Dormity.exe,-280").
#pragma once

// The popup menu's captions; "&" marks an access key.
#define IDS_SET_SAVER            200
#define IDS_LAUNCH               201
#define IDS_CONFIGURE            202
#define IDS_CONFIGURE_GREYED     203
#define IDS_PROPERTIES           204
#define IDS_PASSWORD_MENU        205
#define IDS_PASSWORD_ENABLED     206
#define IDS_CHANGE_PASSWORD      207
#define IDS_SET_TIMEOUT          208
#define IDS_ENABLE               209
#define IDS_DISABLE              210
#define IDS_DISABLE_FOR          211
#define IDS_15_MINUTES           212
#define IDS_30_MINUTES           213
#define IDS_1_HOUR               214
#define IDS_2_HOURS              215
#define IDS_4_HOURS              216
#define IDS_KEEP_OFF_WHILE       217
#define IDS_ADD_RUNNING          218
#define IDS_LOCK                 219
#define IDS_ABOUT                220
#define IDS_EXIT                 221
#define IDS_NONE_ENTRY           222
#define IDS_MANAGED              223

// The tray icon's tooltip (at most 63 characters are shown).
#define IDS_TIP                  230
#define IDS_TIP_NONE             231
#define IDS_TIP_TIMED            232
#define IDS_TIP_OFF_WHILE        233

// Message boxes.
#define IDS_NO_SAVER_CAPTION     240
#define IDS_NO_SAVER_ASK         241
#define IDS_NO_SAVER             242
#define IDS_USAGE                243
#define IDS_OUT_OF_MEMORY        244
#define IDS_OUT_OF_MEMORY_DETAIL 245

// The Timeout dialog.
#define IDS_TIMEOUT_CAPTION      250
#define IDS_TIMEOUT_PROMPT       251
#define IDS_TIMEOUT_LABEL        252
#define IDS_OK                   253
#define IDS_CANCEL               254

// The About dialog.
#define IDS_ABOUT_CAPTION        260
#define IDS_ABOUT_TITLE          261
#define IDS_VERSION              262
#define IDS_CREDIT               263
#define IDS_SYSINFO              264
#define IDS_BLINK                265
#define IDS_KEEP_DISPLAY_ON      266

// The dialog that picks a running program to keep the screen saver off for.
#define IDS_PICKER_CAPTION       270
#define IDS_PICKER_PROMPT        271
#define IDS_PICKER_ADD           272
#define IDS_PICKER_EMPTY         273

// The sound events' labels in the Sounds control panel.
#define IDS_SOUND_LAUNCH         280
#define IDS_SOUND_ENABLE         281
#define IDS_SOUND_DISABLE        282
#define IDS_SOUND_SELECT         283
#define IDS_SOUND_PASS_ENABLE    284
#define IDS_SOUND_PASS_DISABLE   285
