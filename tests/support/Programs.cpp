#include "Programs.h"

std::vector<std::string> ProgramArguments(const std::string& program) {
#ifdef HABITORIUM_PROGRAM_EMULATOR
    return {HABITORIUM_PROGRAM_EMULATOR, program};
#else
    return {program};
#endif
}

std::string ProgramCommand(const std::string& program) {
    std::string command;
    for (const std::string& word : ProgramArguments(program)) {
        command += command.empty() ? "'" : " '";
        for (char c : word)
            command += c == '\'' ? std::string("'\\''") : std::string(1, c);
        command += "'";
    }
    return command;
}
