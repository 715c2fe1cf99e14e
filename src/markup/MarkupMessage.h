#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

// The parser's error texts, filled printf-style: each %s takes a name or word, each %d an
// offset.
inline constexpr const char* MSG_EMPTY_DOCUMENT = "Empty document";
inline constexpr const char* MSG_NO_ROOT = "Root element not found";
inline constexpr const char* MSG_DOCUMENT_TOO_LARGE = "Document too large";
inline constexpr const char* MSG_SIBLING_TO_ROOT = "Element '%s' at offset %d is sibling to root";
inline constexpr const char* MSG_NO_START_TAG = "No start tag for end tag '%s' at offset %d";
inline constexpr const char* MSG_TAG_MISMATCH =
    "End tag '%s' at offset %d does not match start tag '%s' at offset %d";
inline constexpr const char* MSG_NOT_ENDED = "Element '%s' at offset %d not ended";
inline constexpr const char* MSG_TOO_DEEP =
    "Element '%s' at offset %d is nested deeper than 65535 levels";
inline constexpr const char* MSG_UNTERMINATED = "%s at offset %d unterminated";
inline constexpr const char* MSG_INCORRECT = "Incorrect %s at offset %d";
inline constexpr const char* MSG_STRAY_DECLARATION =
    "Markup declaration at offset %d outside Doctype";

// One value for a %s or a %d.
struct MessageArg {
    MessageArg(std::string_view value) : text(value), isText(true) {}
    MessageArg(const char* value) : text(value), isText(true) {}
    MessageArg(const std::string& value) : text(value), isText(true) {}
    MessageArg(std::int32_t value) : number(value), isText(false) {}

    std::string_view text;
    std::int32_t number = 0;
    bool isText;
};

// Fills the %s and %d of pattern in order. Names may hold any bytes but NUL, so they are
// taken by length rather than by terminator.
std::string FillMessage(const char* pattern, std::initializer_list<MessageArg> args);
