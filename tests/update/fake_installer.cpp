// A harmless stand-in for the downloaded installer in the Windows tests:
// writes "installer-ran" beside itself, with the folder it was started in.
// A wide-character entry point: its own path holds Chinese text, which the
// narrow arguments would spell in the ANSI code page.

#include <filesystem>
#include <fstream>
#include <system_error>

int wmain(int argc, wchar_t **argv)
{
    namespace fs = std::filesystem;
    if (argc < 1)
        return 1;
    std::error_code error;
    const fs::path dir = fs::absolute(fs::path(argv[0]), error).parent_path();
    const fs::path temporary = dir / "installer-ran.tmp";
    {
        std::ofstream out(temporary, std::ios::binary);
        out << "cwd: " << fs::current_path(error).u8string() << "\n";
        if (!out)
            return 1;
    }
    fs::rename(temporary, dir / "installer-ran", error);
    return error ? 1 : 0;
}
