#pragma once

#include <string>
#include <string_view>

// Code page 932 <-> UTF-8 for the POSIX build's file names and terminal.
// Exact: false when any byte does not convert, or when the result does not
// convert back to the same bytes.
bool Cp932ToUtf8(std::string_view in, std::string* out);
bool Utf8ToCp932(std::string_view in, std::string* out);

// For display: bytes that do not convert are shown as \xNN.
std::string Cp932ToUtf8ForDisplay(std::string_view in);
