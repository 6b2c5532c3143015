#pragma once
// What the operating system provides to the tool, behind small interfaces.
// The application hands in its desktop versions; tests hand in recorders.

#include <filesystem>
#include <string>

namespace platform {

// Modal message boxes with no icon and the application's title.
class MessageBox {
public:
    virtual ~MessageBox() = default;
    // OK button only. Returns when the user has closed the box.
    virtual void showMessage(const std::string& text) = 0;
    // OK and Cancel, OK the default (Enter). True for OK; false for Cancel,
    // Escape or closing the box.
    virtual bool confirm(const std::string& text) = 0;
};

// The desktop's dialog for choosing the file to save to.
class FileDialog {
public:
    virtual ~FileDialog() = default;
    // Asks where to save, under title, offering suggestedName in the user's
    // documents folder and files of the type (typeName, e.g. "CSV files",
    // and its extension without the dot). Returns the chosen path (the
    // extension added when the name has none), or the empty text when the
    // user cancelled.
    virtual std::string saveFileName(const std::string& title, const std::string& suggestedName,
                                     const std::string& typeName, const std::string& extension) = 0;
};

// The desktop's clipboard.
class Clipboard {
public:
    virtual ~Clipboard() = default;
    // Puts text (UTF-8, lines ended by LF) on the clipboard as plain text,
    // in the line ends the platform's programs expect.
    virtual void setText(const std::string& text) = 0;
};

// Ending the program and letting pending window events run.
class Program {
public:
    virtual ~Program() = default;
    // Ends the program at once with the exit status given: 0 for an ordinary
    // end, non-zero for a start that failed. A test recorder returns; callers
    // return right after asking, so nothing of theirs runs afterwards.
    virtual void endProgram(int exitStatus) = 0;
    // True once the end has been asked for; a long batch stops when it sees it.
    virtual bool endRequested() const = 0;
    // Lets pending window events (repaints, clicks) run, then returns.
    virtual void letPendingEventsRun() = 0;
};

// A local calendar date and time of day, as the clock shows it.
struct LocalTime {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalTime now() = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // The folder that holds the running executable, without a trailing separator.
    virtual std::string programFolder() = 0;
    // True when a directory search for exactly this path finds an ordinary
    // file: folders, hidden files and missing paths give false, never an error.
    virtual bool isNormalFile(const std::string& path) = 0;
    // True when path names a folder; false for anything else, never an error.
    virtual bool isFolder(const std::string& path) = 0;
};

// The user the tool runs for.
class UserAccount {
public:
    virtual ~UserAccount() = default;
    // The folder where the tool keeps its own data for this user (it may not
    // exist yet), without a trailing separator; empty when the platform has none.
    virtual std::string dataFolder() = 0;
    // The folder of this user's own machine where the tool keeps what it
    // writes for itself, such as its error log when the program's folder
    // cannot be written (it may not exist yet), without a trailing
    // separator; empty when the platform has none.
    virtual std::string stateFolder() = 0;
    // The user's login name; empty when it cannot be told.
    virtual std::string loginName() = 0;
};

// How the user's locale writes dates, times of day and month names.
class Locale {
public:
    virtual ~Locale() = default;
    // A valid calendar date in the locale's short date form ("07/12/2026" in
    // the United Kingdom).
    virtual std::string shortDate(int year, int month, int day) const = 0;
    // A time of day in the locale's short time form ("14:05" in the United Kingdom).
    virtual std::string shortTime(int hour, int minute) const = 0;
    // The month (1 to 12) as the error log's file names abbreviate it: the
    // locale's own abbreviation with a capital first letter; English names
    // three letters in every English locale ("Sep", never "Sept").
    virtual std::string monthAbbreviation(int month) const = 0;
    // An amount of money as the locale writes it: rounded to two decimals,
    // with the locale's decimal point and thousands separators and its form
    // of a negative number; an amount that rounds to nothing as zero, never
    // with a minus sign. This default is GroupedAmount.
    virtual std::string amount(double value) const;
};

// A number in its plain text form ("-1250.5") with a comma between each
// three digits before the point: "-1,250.5".
std::string GroupedDigits(const std::string& number);

// An amount as it is shown: rounded to two decimals, and 0 (never -0) when it
// rounds to nothing.
double AmountShown(double value);

// An amount as the United Kingdom writes it: two decimals, "." as the decimal
// point and "," between thousands ("1,250.50", "-464.84").
std::string GroupedAmount(double value);

// The character that joins a folder and a file name on this platform.
#ifdef _WIN32
inline constexpr char pathSeparator = '\\';
#else
inline constexpr char pathSeparator = '/';
#endif

// The file system's path for UTF-8 text: on Windows the wide-character path
// (a narrow one would pass through the ANSI code page and lose "Zoë").
inline std::filesystem::path nativePath(const std::string& text) {
#ifdef _WIN32
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
#else
    return std::filesystem::path(text);
#endif
}

inline std::string joinPath(const std::string& folder, const std::string& name) {
    return folder + pathSeparator + name;
}

} // namespace platform
