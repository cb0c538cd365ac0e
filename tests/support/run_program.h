// Argument vectors from strings, and what a forked child does to become another program.
#pragma once

#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

inline std::vector<char*> c_strings(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) pointers.push_back(text.data());
    return pointers.push_back(nullptr), pointers;
}

// With this environment or, when given, with `environment` alone.
[[noreturn]] inline void exec_program(std::vector<std::string> args,
                                      std::optional<std::vector<std::string>> environment = std::nullopt) {
    const std::vector<char*> argv = c_strings(args);
    if (environment) execve(argv[0], argv.data(), c_strings(*environment).data());
    else execv(argv[0], argv.data());
    _exit(127);
}
