#pragma once

#include <cstdio>
#include <string>

namespace b6409 {

// printf-style formatting into a std::string; the message texts are printf formats.
template <typename... Args>
std::string FormatText(const char* format, Args... args) {
    int size = std::snprintf(nullptr, 0, format, args...);
    if (size <= 0) return {};
    std::string text(static_cast<size_t>(size) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, args...);
    text.resize(static_cast<size_t>(size));
    return text;
}

}  // namespace b6409
