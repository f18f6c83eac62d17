// Stand-in for the crash reporter: writes its one argument, the command
// line, to "$VEXDUMP_RECORD_DIR/crashsend-<pid>.txt" (through a temporary
// file, so a reader never sees half of it).
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

int main(int argc, char **argv)
{
    const char *folder = std::getenv("VEXDUMP_RECORD_DIR");
    if (!folder)
        return 2;
    const std::string base = std::string(folder) + "/crashsend-" + std::to_string(getpid());
    const std::string temp = base + ".tmp";
    std::FILE *file = std::fopen(temp.c_str(), "wb");
    if (!file)
        return 3;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            std::fputc('\n', file); // more than one argument shows up as extra lines
        std::fputs(argv[i], file);
    }
    if (std::fclose(file) != 0 || std::rename(temp.c_str(), (base + ".txt").c_str()) != 0)
        return 4;
    return 0;
}
