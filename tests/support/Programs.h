#pragma once
// A program of this build (the sample generator, the delay proxy) as a test
// starts it. A build for another machine (a 32-bit one, say) runs its
// programs under the emulator that runs its tests: the machine may have no
// way of its own to run them.

#include <string>
#include <vector>

// The program and its first arguments, for execv: the emulator first where
// there is one.
std::vector<std::string> ProgramArguments(const std::string& program);
// The same as the start of a shell command, each word quoted.
std::string ProgramCommand(const std::string& program);
