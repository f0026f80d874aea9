// Stands in for the System Information tool: writes the command line it was
// started with to the file named by its first argument, whole (by a rename).
#include <windows.h>
#include <stdio.h>

#include <string>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    std::string part = std::string(argv[1]) + ".part";
    FILE* file = fopen(part.c_str(), "wb");
    if (!file)
        return 1;
    fputs(GetCommandLineA(), file);
    fclose(file);
    return MoveFileA(part.c_str(), argv[1]) ? 0 : 1;
}
