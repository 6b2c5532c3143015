#include "platform/Console.h"

#include <cstdio>

namespace platform {

void ConsoleMessageBox::showMessage(const std::string& text) {
    std::string shown;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "\r\n") == 0) {
            shown += consoleLineEnd;
            ++i;
        } else {
            shown += text[i];
        }
    }
    // A report that ends in blank lines (the error report does) ends on its last line of text.
    const std::string end = consoleLineEnd;
    while (shown.size() >= end.size() && shown.compare(shown.size() - end.size(), end.size(), end) == 0)
        shown.resize(shown.size() - end.size());
    console_.write(Console::Stream::Error, shown + end);
}

bool ConsoleMessageBox::confirm(const std::string& text) {
    showMessage(text);
    return false;
}

#ifndef _WIN32

namespace {

class StandardStreams : public Console {
public:
    bool write(Stream stream, const std::string& bytes) override {
        std::FILE* file = stream == Stream::Output ? stdout : stderr;
        const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        return std::fflush(file) == 0 && written;
    }
};

} // namespace

std::unique_ptr<Console> processConsole() {
    return std::make_unique<StandardStreams>();
}

#endif

} // namespace platform
