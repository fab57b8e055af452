#include "cli/commands.h"
#include "platform/file_system.h"

#ifdef _WIN32
#include <windows.h>

#include <string>
#include <vector>

// Windows hands us UTF-16 arguments; the program works in UTF-8 throughout.
int wmain(int argc, wchar_t** wargv) {
    deckwright::RemoveLeftoversWhenInterrupted();
    SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) {
        const int n = WideCharToMultiByte(CP_UTF8, 0, wargv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string s(n > 0 ? static_cast<std::size_t>(n - 1) : 0, '\0');
        if (n > 1) WideCharToMultiByte(CP_UTF8, 0, wargv[i], -1, s.data(), n, nullptr, nullptr);
        args.push_back(std::move(s));
    }
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    return deckwright::cli::RunCommandLine(argc, argv.data());
}
#else
int main(int argc, char** argv) {
    deckwright::RemoveLeftoversWhenInterrupted();
    return deckwright::cli::RunCommandLine(argc, argv);
}
#endif
