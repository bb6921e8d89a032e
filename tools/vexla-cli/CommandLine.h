#pragma once

#include <string>
#include <vector>

// Splits one command line into words at blanks; a word in double quotes may hold blanks
// (login alice "my secret"). A backslash inside quotes takes the next character as it is.
class CCommandLine {
public:
    static std::vector<std::string> Split(const std::string& line);
};
