#pragma once
// Runs another program of the build and captures what it prints.

#include <filesystem>
#include <string>
#include <vector>

#include "core/path_text.h"

namespace vantorel::testing_support {

struct ProcessOutput {
    int exitCode = -1;
    std::string out;  // standard output, line ends as printed
    std::string err;  // standard error
};

// The directory of the running test program: the build puts every program there.
std::filesystem::path ProgramDirectory();

// Runs the program with these arguments, each passed exactly (empty ones included).
ProcessOutput RunProgram(const std::filesystem::path& program, const std::vector<PathString>& args);

// Drops every carriage return, so Windows' CR LF lines compare as LF lines.
std::string WithoutCarriageReturns(std::string text);

}  // namespace vantorel::testing_support
