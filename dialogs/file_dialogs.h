#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace deckwright {

// The filter of the program's file dialogs, in the class library's notation.
inline constexpr std::string_view kPresentationFilter = "PowerPoint Files (*.ppt)|*.ppt||";

// The platform's filter notation (NUL-separated, ending in two NULs) from the class library's
// ("|"-separated, ending in "||").
std::wstring PlatformFilter(std::string_view bars);

// The common open dialog with several files allowed: the chosen full paths in the dialog's
// order, nothing when cancelled.
std::vector<std::string> ChooseFilesToOpen();
// The common Save As dialog, starting from initial_path and asking before replacing a file;
// no owner, so it may be shown from any thread. The chosen path, or nothing.
std::optional<std::string> ChooseSaveAsPath(const std::string& initial_path);

}  // namespace deckwright
