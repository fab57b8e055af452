#pragma once

#include <CLI/CLI.hpp>

namespace deckwright::cli {

// Exit statuses shared by every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitSomeFailed = 1;
inline constexpr int kExitUsage = 2;
// Every file was repaired and saved (or is sound), but some presentation's own records are
// damaged: its copy was kept with a warning. A failure elsewhere takes precedence (1).
inline constexpr int kExitWarning = 3;

// Each command adds its subcommand to the app; when the subcommand runs it stores its exit
// status in *exit_status.
void AddInspectCommand(CLI::App& app, int* exit_status);
void AddRepairCommand(CLI::App& app, int* exit_status);
void AddCheckCommand(CLI::App& app, int* exit_status);

// Parses argv and runs the chosen command; returns the process exit status.
int RunCommandLine(int argc, const char* const* argv);

}  // namespace deckwright::cli
