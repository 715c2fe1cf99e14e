#pragma once

#include <cstdint>

// A reading position in a document's text, shared by the tokenizer and the word reader. The
// text is NUL-terminated; every reader stops at the NUL.
struct ScanCursor {
    std::int32_t wordStart = 0;  // first byte of the last word read
    std::int32_t wordEnd = -1;   // last byte of it; below wordStart for an empty word
    std::int32_t next = 0;       // where the next read starts
    const char* text = "";
    bool quoted = false;  // the last word was a quoted value (quotes excluded)
    // Bytes before the NUL when the owner knows them, else -1; lets the tokenizer test whole
    // blocks of bytes at a time without reading past the end.
    std::int32_t length = -1;

    std::int32_t WordLength() const { return wordEnd < wordStart ? 0 : wordEnd - wordStart + 1; }
    const char* Word() const { return text + wordStart; }
};
