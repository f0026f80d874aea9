// Which language Dormity speaks to this user, read from the system and the
// registry: at start, and again when the user's language settings change.
#pragma once
#include <windows.h>
#include <stddef.h>

// The user's own choice in Dormity's key: a language name ("de-DE").
#define LANGUAGE_VALUE "Language"

// The value as a language name: a REG_SZ that fits size bytes; "" for a
// missing value, another type or a longer text.
void readChosenLanguage(char* out, size_t size);

// Decides the language from what the system and the registry say now and
// speaks it (base/ui_text.h).
void speakUserLanguage();
