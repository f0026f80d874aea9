// The file reader against the system's own string loader: LoadStringA on the same file, in the
// same process and user interface language, is the truth each description is held to.
#include <gtest/gtest.h>
#include <windows.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "base/handles.h"
#include "saverconfig/saver_file.h"
#include "support/savers.h"
#include "support/system.h"

namespace {

// String 1 as the system's loader gives it ("" when it has none); false when the file does
// not load as a data file at all.
bool loadedStringOne(const std::string& path, std::string* text)
{
    UniqueModule module(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module)
        return false;
    char loaded[260] = "";
    LoadStringA(module.get(), 1, loaded, sizeof loaded);
    *text = loaded;
    return true;
}

} // namespace

// A translation written for the whole language (LANG_GERMAN, SUBLANG_NEUTRAL) is the one the
// loader shows a user of any of its countries; the runs in German, French and Portuguese (Wine
// takes its user interface language from the locale) each show their own.
TEST(ReaderLanguages, ATableForTheWholeLanguageIsChosenAsTheLoaderChoosesIt)
{
    const struct {
        LANGID ui;
        const char* shown;
    } languages[] = {
        {0x0407, "Sternenfeld neutral"},
        {0x040C, "Champ neutre"},
        {0x0416, "Campo neutro"},
        {0x0409, "Starfield In English"},
    };
    const LANGID ui = reportedUiLanguage();
    const std::string path = fixturePath("neutrallang.scr");
    std::string loaded;
    ASSERT_TRUE(loadedStringOne(path, &loaded));
    for (const auto& language : languages) {
        if (language.ui == ui) {
            EXPECT_EQ(loaded, language.shown) << "the loader's own choice in this language";
        }
    }
    char description[260];
    EXPECT_EQ(readSaverFile(path.c_str(), description, sizeof description), SAVER_FILE_SOUND);
    EXPECT_EQ(description, loaded);
}

// Every file of Wine's Windows and system folders (and, in a 64-bit prefix, SysWOW64): each
// image the loader opens is read whole by the reader, and both give the same string 1, or
// neither has one; a file the loader refuses the reader refuses too; no file stops either.
TEST(ReaderAgainstLoader, EveryImageWineShipsGivesTheLoadersStringOne)
{
    std::vector<std::string> folders = {windowsDirectory(), systemDirectory()};
    if (fileExists(windowsDirectory() + "\\syswow64"))
        folders.push_back(windowsDirectory() + "\\syswow64");
    const ResourceLanguageList languages = systemResourceLanguages();
    int files = 0, images = 0, withString = 0, disagreements = 0;
    const DWORD start = GetTickCount();
    for (const std::string& folder : folders) {
        for (const FoundFile& found : findFiles(folder, "*")) {
            if (found.attributes & FILE_ATTRIBUTE_DIRECTORY)
                continue;
            const std::string path = folder + "\\" + found.longName;
            ++files;
            std::string loaded;
            const bool image = loadedStringOne(path, &loaded);
            char description[260];
            SaverFileCheck check = readSaverFile(path.c_str(), languages, description,
                                                 sizeof description, nullptr);
            if (!image) {
                EXPECT_EQ(check, SAVER_FILE_REFUSED) << path << ": no image to the loader";
                continue;
            }
            ++images;
            withString += !loaded.empty();
            if (check != SAVER_FILE_SOUND || description != loaded) {
                ++disagreements;
                ADD_FAILURE() << path << ": the loader gives \"" << loaded << "\", the reader \""
                              << description << "\" (verdict " << check << ")";
            }
        }
    }
    printf("%d files, %d images, %d with a string 1, %d disagreements, %lu ms\n", files, images,
           withString, disagreements, static_cast<unsigned long>(GetTickCount() - start));
    EXPECT_GT(images, 300) << "Wine's own programs and libraries were read";
    EXPECT_GT(withString, 10);
}
