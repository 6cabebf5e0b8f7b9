#pragma once

#include <string>
#include <vector>

// The map file commands of marlo-cli. Each takes the words after its command
// name and returns the process exit status: 0 success, 1 a file could not be
// read or written, 2 bad command line.
int RunInfoCommand(const std::vector<std::string>& args);
int RunConvertCommand(const std::vector<std::string>& args);
int RunRenderCommand(const std::vector<std::string>& args);
