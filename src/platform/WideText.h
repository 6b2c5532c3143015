#pragma once
// UTF-8 inside the tool, UTF-16 at the Win32 boundary. Windows only.

#ifdef _WIN32

#include <string>

namespace platform {

// The UTF-16 form of UTF-8 text; an invalid byte becomes U+FFFD.
std::wstring widen(const std::string& text);
// The UTF-8 form of UTF-16 text; a lone surrogate becomes U+FFFD.
std::string narrow(const std::wstring& text);
std::string narrow(const wchar_t* text);

} // namespace platform

#endif
