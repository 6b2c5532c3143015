#pragma once
// Writing a sample as a property database file in its SQLite form.

#include "SampleData.h"

#include <filesystem>
#include <stdexcept>

namespace sample {

// A failure to write the file, with a message fit for the user.
class SampleWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws SampleWriteError when output is a folder, or exists and replace is
// not set: a check made before the work of generating, and again when the
// finished file is put in place.
void checkOutput(const std::filesystem::path& output, bool replace);

// Writes the sample as a property database at output: one transaction, the
// indexes made after the rows are in. The database is built under a
// temporary name in the same folder and renamed to output only when complete,
// so output never holds a half-written file; on failure (or an interrupt) the
// temporary file is removed. An existing output is replaced only when replace
// is set, and never when it is a folder. Throws SampleWriteError.
void writeSampleDatabase(const SampleData& data, const std::filesystem::path& output, bool replace);

} // namespace sample
