#pragma once
// The command line of the sample database generator.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sample {

struct SampleArguments {
    std::string output;
    std::string odbc; // an ODBC connection string, given with --odbc in place of OUTPUT
    int tenancies = 40;
    std::uint64_t seed = 1;
    bool force = false;
    bool help = false;
};

struct ParsedArguments {
    std::optional<SampleArguments> arguments; // unset when the command line is wrong
    std::string error;                        // why, when it is
};

// Reads "OUTPUT [--tenants N] [--seed S] [--force]" or "--odbc CONNECTION
// [--tenants N] [--seed S] [--force]" (options also as --name=value, "--"
// ends the options) or "--help". An option given twice, an
// unknown option, a missing or second OUTPUT, OUTPUT beside --odbc, an empty
// connection string, or a number that is not a plain
// whole number in range is an error.
ParsedArguments parseArguments(const std::vector<std::string>& arguments);

// The one-line synopsis, and the full help text that begins with it.
std::string usageLine(const std::string& program);
std::string usageText(const std::string& program);

} // namespace sample
