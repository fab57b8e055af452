#pragma once

#include <string_view>

namespace deckwright {

// The runs' own words, exactly as the desktop program has always shown them (odd spellings and
// blanks included: users and their support notes quote them).
inline constexpr std::string_view kMessageCaption = "Velmora Deckwright";
inline constexpr std::string_view kOpenFailedText = "Uable to Open File ";
inline constexpr std::string_view kLoadFailedText = "Uable to Load File in memory";
inline constexpr std::string_view kSaveFailedText =
    "Uable to Save File, Either the file already exit,\nor it is used by some other program";
inline constexpr std::string_view kOverwriteQuestion =
    "A file with the same name already exist \nOverwrite existing file";
inline constexpr std::string_view kSaveAsFilter = "PowerPoint Files (*.ppt)|*.ppt||";
inline constexpr std::string_view kSaveAsDefaultExtension = "*.ppt";

// Saves that would replace what must stay.
inline constexpr std::string_view kSaveOverOriginalText =
    "Unable to save: the saved file would take the place of a file being repaired, and "
    "Deckwright never writes over those. Choose another save folder or suffix.";
inline constexpr std::string_view kSaveOverSavedText =
    "Unable to save: a file saved moments ago from another file has the same name, and it is "
    "not replaced. Choose another save folder or suffix.";

// A copy whose rebuilt header still does not check out: followed by what is wrong with it.
inline constexpr std::string_view kRepairFailedText = "Unable to repair this file: ";
// A copy whose structure is repaired but whose slides may not all be intact: followed by what
// may be damaged and the first damaged record. Shown when the repair ends, before any save.
inline constexpr std::string_view kRepairedWithWarningText = "The file was repaired, but ";

}  // namespace deckwright
