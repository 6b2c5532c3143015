// habitorium-sample-db: writes a sample property database for trying out and
// benchmarking the rent analysis.

#include "SampleArguments.h"
#include "SampleGenerator.h"
#include "SampleOdbcWriter.h"
#include "SampleWriter.h"

#include "engine/ConnectionText.h"

#include <cstddef>
#include <exception>
#include <iostream>
#include <string>

namespace {

std::string count(std::size_t number, const char* thing) {
    return std::to_string(number) + " " + thing + (number == 1 ? "" : "s");
}

} // namespace

int main(int argc, char** argv) {
    const std::string program = "habitorium-sample-db";
    const sample::ParsedArguments parsed = sample::parseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.arguments) {
        std::cerr << program << ": " << parsed.error << "\n"
                  << sample::usageLine(program) << "Try '" << program << " --help' for more.\n";
        return 2;
    }
    const sample::SampleArguments& arguments = *parsed.arguments;
    if (arguments.help) {
        std::cout << sample::usageText(program);
        return 0;
    }
    try {
        std::string written = arguments.output;
        if (arguments.odbc.empty()) {
            sample::checkOutput(arguments.output, arguments.force);
        } else {
            written = engine::MaskPassword("ODBC;" + arguments.odbc);
        }
        const sample::SampleData data = sample::generateSample(arguments.tenancies, arguments.seed);
        if (arguments.odbc.empty())
            sample::writeSampleDatabase(data, arguments.output, arguments.force);
        else
            sample::writeSampleOdbc(data, arguments.odbc, arguments.force);
        std::cout << "Wrote " << written << ": " << count(data.tenancies.size(), "tenant") << ", "
                  << count(data.periods.size(), "rent period") << ", " << count(data.revenues.size(), "revenue") << ", "
                  << count(data.charges.size(), "period charge") << "\n";
        return 0;
    } catch (const std::exception& error) {
        std::cerr << program << ": " << error.what() << "\n";
        return 1;
    }
}
