#pragma once
// Runs a program to its end and keeps what it printed and how it ended.
#include <string>
#include <vector>

namespace toolstest {

struct Ran {
    int exitCode = -1;  // -1 when a signal ended it
    std::string out;
    std::string err;
};

// `arguments` starts with the program's path. `addressSpaceLimit` (bytes, 0 for none)
// caps the child's memory, so that a program that reads a large file whole fails.
Ran runProgram(const std::vector<std::string>& arguments, unsigned long addressSpaceLimit = 0);

}  // namespace toolstest
