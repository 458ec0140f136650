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

// UTF-8 text made harmless for a terminal: control characters (C0 but tab,
// LF and CR LF, which ends a line as LF; DEL; C1) are shown as \xNN, so a
// name holding an escape sequence cannot recolour, retitle or rewrite the
// screen.
std::string InertForTerminal(std::string_view utf8);
