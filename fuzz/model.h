#pragma once

#include <string>
#include <string_view>
#include <vector>

// The rewrite, written a second time straight from the rule and as plainly as
// possible, so the fuzz targets can hold the tool's code against it.
namespace model {

// Shift-JIS lead bytes.
bool IsLead(unsigned char byte);

// The line after the colour rule; *rewritten tells whether it changed, and
// *found gets the 1-based position of the first usable "clBlack" (0: none).
std::string RewriteLine(std::string_view line, bool* rewritten, std::size_t* found);

// The lines of a file: up to its first NUL, ended by CR, LF or CR LF; a
// last line without an end is a line too.
std::vector<std::string> Lines(std::string_view bytes);

// The whole file as the tool writes it back: every line end CR LF, a last
// line without one gains it, colour rule applied to each line when
// `applyRule`, bytes from the first NUL kept as they are. *rewritten counts
// the changed lines, *lines the lines.
std::string RewriteFile(std::string_view bytes, bool applyRule, int* rewritten, int* lines);

// Stops the fuzzer with a message when `holds` is false.
void Check(bool holds, const char* what);

}  // namespace model
