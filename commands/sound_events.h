// The six sound events registered for the signed-in user, so that the Sounds
// control panel lists them under "Dormity" however Dormity came onto the PC
// (the MSI installs for every user, the zip for nobody in particular).
#pragma once
#include <windows.h>
#include <stddef.h>

// From Windows Vista on, the Sounds control panel shows a label's
// "DispFileName" (an indirect string, "@file,-id") in the user's language,
// before that the label key's own text.
bool labelsNameTheirResource(DWORD platformId, DWORD majorVersion);
// "@programPath,-textId"; false, with out empty, when it does not fit.
bool formatLabelSource(char* out, size_t size, const char* programPath, UINT textId);

// Creates what is missing: the application's name, and each event's
// ".Current" key with no sound; a sound the user assigned is never touched.
// The labels are Dormity's own: written again whenever they differ (another
// language, or the program moved).
void registerSoundEvents();
