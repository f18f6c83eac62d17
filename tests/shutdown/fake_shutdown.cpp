// Stands in for the system's shutdown command in the Windows tests: writes
// "args: <its arguments>" and one "have <name>" line per state file that is
// present and not empty beside it into "shutdown-called" beside it (through
// a temporary file, so the test never reads half of it).

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

int main(int argc, char **argv)
{
    namespace fs = std::filesystem;
    if (argc < 1)
        return 1;
    std::error_code error;
    const fs::path dir = fs::absolute(fs::path(argv[0]), error).parent_path();
    std::string report = "args:";
    for (int i = 1; i < argc; ++i)
        report += std::string(" ") + argv[i];
    report += "\n";
    for (const char *name : {"uploadInfo.json", "historyInfo.json", "settingsInfo.json", "netparamsInfo.json"}) {
        const fs::path file = dir / name;
        if (fs::is_regular_file(file, error) && fs::file_size(file, error) > 0)
            report += std::string("have ") + name + "\n";
    }
    const fs::path temporary = dir / "shutdown-called.tmp";
    {
        std::ofstream out(temporary, std::ios::binary);
        out << report;
        if (!out)
            return 1;
    }
    fs::rename(temporary, dir / "shutdown-called", error);
    return error ? 1 : 0;
}
