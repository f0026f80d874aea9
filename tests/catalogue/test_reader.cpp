// The file reader against the system's own string loader: LoadStringA on the same file, in the
// same process and user interface language, is the truth each description is held to.
#include <gtest/gtest.h>
#include <windows.h>
#include <stdio.h>

#include <map>
#include <string>
#include <vector>

#include "base/handles.h"
#include "saverconfig/saver_file.h"
#include "support/savers.h"
#include "support/system.h"

// A screen saver translated for whole languages (LANG_GERMAN, SUBLANG_NEUTRAL: the usual form),
// then every file of Wine's Windows and system folders (and SysWOW64 in a 64-bit prefix): each
// one the loader opens, the reader reads whole, and both give the same string 1 or neither has
// one; each one the loader refuses, the reader refuses. The catalogue_reader_* runs repeat it
// in German, French and Portuguese, which Wine takes from the locale.
TEST(ReaderAgainstLoader, ATranslatedSaverAndEveryImageWineShipsGiveTheLoadersStringOne)
{
    std::vector<std::string> paths = {fixturePath("neutrallang.scr")};
    for (const std::string& folder :
         {windowsDirectory(), systemDirectory(), windowsDirectory() + "\\syswow64"}) {
        for (const FoundFile& found : findFiles(folder, "*")) {
            if (!(found.attributes & FILE_ATTRIBUTE_DIRECTORY))
                paths.push_back(folder + "\\" + found.longName);
        }
    }
    const ResourceLanguageList languages = systemResourceLanguages();
    int images = 0, withString = 0;
    const DWORD start = GetTickCount();
    for (const std::string& path : paths) {
        UniqueModule module(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        char loaded[260] = "", described[260];
        if (module)
            LoadStringA(module.get(), 1, loaded, sizeof loaded);
        EXPECT_EQ(readSaverFile(path.c_str(), languages, described, sizeof described, nullptr),
                  module ? SAVER_FILE_SOUND : SAVER_FILE_REFUSED) << path;
        EXPECT_STREQ(described, loaded) << path;
        images += module ? 1 : 0;
        withString += loaded[0] ? 1 : 0;
        if (path == paths.front()) {
            const std::map<LANGID, std::string> shown = {
                {0x0407, "Sternenfeld neutral"}, {0x040C, "Champ neutre"}, {0x0416, "Campo neutro"}};
            auto language = shown.find(reportedUiLanguage());
            EXPECT_EQ(loaded, language == shown.end() ? "Starfield In English" : language->second)
                << "the loader's own choice in this language";
        }
    }
    printf("%zu files, %d images, %d with a string 1, %lu ms\n", paths.size(), images, withString,
           static_cast<unsigned long>(GetTickCount() - start));
    EXPECT_GT(images, 300) << "Wine's own programs and libraries were read";
}
