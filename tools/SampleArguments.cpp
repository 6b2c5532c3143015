#include "SampleArguments.h"

#include "SampleGenerator.h"

#include <limits>
#include <set>

namespace sample {

namespace {

// Digits only: no sign, blank or suffix, and no overflow.
std::optional<std::uint64_t> wholeNumber(const std::string& text, std::uint64_t maximum) {
    if (text.empty() || text.size() > 20) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char digit : text) {
        if (digit < '0' || digit > '9') {
            return std::nullopt;
        }
        const auto next = static_cast<std::uint64_t>(digit - '0');
        if (value > (maximum - next) / 10) {
            return std::nullopt;
        }
        value = value * 10 + next;
    }
    return value;
}

ParsedArguments wrong(std::string error) {
    return {std::nullopt, std::move(error)};
}

} // namespace

ParsedArguments parseArguments(const std::vector<std::string>& arguments) {
    SampleArguments parsed;
    bool haveOutput = false;
    bool optionsEnded = false;
    std::set<std::string> seen;
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
            if (haveOutput) {
                return wrong("only one output file can be given (\"" + parsed.output + "\" and \"" + argument + "\")");
            }
            if (argument.empty()) {
                return wrong("the output file name is empty");
            }
            parsed.output = argument;
            haveOutput = true;
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = argument;
        std::optional<std::string> value;
        if (const auto equals = argument.find('='); equals != std::string::npos) {
            name = argument.substr(0, equals);
            value = argument.substr(equals + 1);
        }
        if (name == "--help" || name == "-h") {
            parsed.help = true;
            return {parsed, {}};
        }
        if (name != "--tenants" && name != "--seed" && name != "--force" && name != "--odbc") {
            return wrong("unknown option " + name);
        }
        if (!seen.insert(name).second) {
            return wrong(name + " is given twice");
        }
        if (name == "--force") {
            if (value) {
                return wrong("--force takes no value");
            }
            parsed.force = true;
            continue;
        }
        if (!value) {
            if (index + 1 == arguments.size()) {
                return wrong(name + " needs a value");
            }
            value = arguments[++index];
        }
        if (name == "--odbc") {
            if (value->empty()) {
                return wrong("--odbc needs an ODBC connection string, such as \"Driver={PostgreSQL Unicode};...\"");
            }
            parsed.odbc = *value;
        } else if (name == "--tenants") {
            const auto number = wholeNumber(*value, maximumTenancies);
            if (!number) {
                return wrong("--tenants needs a whole number from 0 to " + std::to_string(maximumTenancies) +
                             ", not \"" + *value + "\"");
            }
            parsed.tenancies = static_cast<int>(*number);
        } else {
            const auto number = wholeNumber(*value, std::numeric_limits<std::uint64_t>::max());
            if (!number) {
                return wrong("--seed needs a whole number from 0 to " +
                             std::to_string(std::numeric_limits<std::uint64_t>::max()) + ", not \"" + *value + "\"");
            }
            parsed.seed = *number;
        }
    }
    if (!parsed.odbc.empty() && haveOutput) {
        return wrong("an output file and --odbc cannot both be given");
    }
    if (!haveOutput && parsed.odbc.empty()) {
        return wrong("no output file given");
    }
    return {parsed, {}};
}

std::string usageLine(const std::string& program) {
    return "usage: " + program + " OUTPUT.mdb [--tenants N] [--seed S] [--force]\n" + "       " + program +
           " --odbc CONNECTION [--tenants N] [--seed S] [--force]\n";
}

std::string usageText(const std::string& program) {
    return usageLine(program) +
           "Writes a sample property database (SQLite) for Habitorium Rent Analysis.\n"
           "\n"
           "  --tenants N  number of tenancies, 0 to " +
           std::to_string(maximumTenancies) + " (default 40); above " + std::to_string(benchmarkTenancies) +
           "\n               every tenancy has 36 monthly periods (benchmark data)\n"
           "  --seed S     seed for the ordinary tenancies (default 1); the same\n"
           "               arguments always give the same database\n"
           "  --odbc CONNECTION\n"
           "               write into the database that the ODBC connection string\n"
           "               reaches (PostgreSQL, or SQLite through its driver), creating\n"
           "               the tables of the documented schema for it\n"
           "  --force      replace OUTPUT if it exists (with --odbc: drop the tables)\n"
           "  --help       show this text\n";
}

} // namespace sample
