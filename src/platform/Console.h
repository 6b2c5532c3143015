#pragma once
// Standard output and standard error, for the tool run from a command line,
// a script or a scheduled task, and the message boxes of such a run.

#include "platform/Seams.h"

#include <memory>
#include <string>

namespace platform {

// The line end of text written to the console or a redirect.
#ifdef _WIN32
inline constexpr const char* consoleLineEnd = "\r\n";
#else
inline constexpr const char* consoleLineEnd = "\n";
#endif

class Console {
public:
    enum class Stream { Output, Error };
    virtual ~Console() = default;
    // Writes bytes exactly as given (UTF-8 text, or a file's bytes) to the
    // stream. False when they could not all be written: no such stream, a
    // closed pipe, a full disk.
    virtual bool write(Stream stream, const std::string& bytes) = 0;
};

// This process's standard output and error. On Windows, where the program
// has no console of its own, the handles it inherited when they lead
// somewhere (a redirect, a pipe), else the console of the process that
// started it; text reaches a console as Unicode, a redirect as UTF-8.
std::unique_ptr<Console> processConsole();

// The boxes of a run without a window: each text on standard error, a line
// of its own, its CR LF pairs as the console's line ends.
class ConsoleMessageBox : public MessageBox {
public:
    explicit ConsoleMessageBox(Console& console) : console_(console) {}
    void showMessage(const std::string& text) override;
    // Says the text and answers Cancel: nobody is there to answer OK.
    bool confirm(const std::string& text) override;

private:
    Console& console_;
};

} // namespace platform
