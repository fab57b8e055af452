// With no screen, a message box that no test answers takes its default button, and nothing is
// launched.
#include <filesystem>

#include "platform/ui/shell.h"

namespace deckwright {

int SystemMessageBox(HWND, const std::string&, const std::string&, UINT type) {
    return (type & MB_YESNO) ? IDNO : IDOK;
}

void SystemShellOpen(HWND, const std::string&, const std::string&, int) {}

std::vector<std::string> DroppedFiles(WPARAM drop) {
    // In memory a drop is the list of paths itself (see headless/inspect.h).
    const auto* paths = reinterpret_cast<const std::vector<std::string>*>(drop);
    return paths ? *paths : std::vector<std::string>{};
}

std::string ProgramFolder() {
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    return self.parent_path().string() + "/";
}

}  // namespace deckwright
