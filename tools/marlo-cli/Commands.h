#pragma once

#include <string>
#include <vector>

// The point commands of marlo-cli. Each takes the words after its command
// name and returns the process exit status: 0 success, 1 some input could not
// be processed, 2 bad command line.
int RunListCommand(const std::vector<std::string>& args);
int RunProjectCommand(const std::vector<std::string>& args);
