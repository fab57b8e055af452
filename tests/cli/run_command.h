#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/commands.h"

namespace deckwright::testing {

// What one in-process run of the command line gave.
struct CommandRun {
    int status;
    std::string out;
    std::string err;
};

// Runs "deckwright ARGS..." in this process, capturing standard output and error.
inline CommandRun RunDeckwright(std::vector<std::string> args) {
    args.insert(args.begin(), "deckwright");
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int status = cli::RunCommandLine(static_cast<int>(argv.size()), argv.data());
    std::string out = ::testing::internal::GetCapturedStdout();
    std::string err = ::testing::internal::GetCapturedStderr();
    return {status, std::move(out), std::move(err)};
}

}  // namespace deckwright::testing
