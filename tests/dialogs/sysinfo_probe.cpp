// Stands in for the System Information tool: writes the command line it was
// started with into the file named by its first argument, so that a test
// sees that it ran and what it was given.
#include <windows.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    char temporary[MAX_PATH];
    if (_snprintf(temporary, sizeof temporary, "%s.part", argv[1]) < 0)
        return 2;
    FILE* file = fopen(temporary, "wb");
    if (!file)
        return 1;
    const char* line = GetCommandLineA();
    fwrite(line, 1, strlen(line), file);
    fclose(file);
    // Renamed only when complete, so the test never reads half of it.
    return MoveFileA(temporary, argv[1]) ? 0 : 1;
}
