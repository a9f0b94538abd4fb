// The two passes of the INI line removal over any stream: the search for a
// line to remove and the copy without it. Lines are read 1023 characters at a
// time and compared whole, ignoring the case of the ASCII letters only.
#pragma once

#include <iosfwd>

#include "uninstall_log/log_entry.h"

// True when a line of the section(s) whose header line equals header (as in
// "[name]") equals line; the search stops there or at the end of in.
bool SectionHoldsLine(std::istream& in, const char* header, const char* line);

// Copies the given number of line reads from in to out, leaving out the
// lines of the section(s) named by header that equal line. True when the
// last read met the end of in and every write went through; false for text
// a copy would not keep whole (a NUL in a line, anything behind a Ctrl-Z).
bool CopyWithoutLine(std::istream& in, std::ostream& out, int reads, const char* header,
                     const char* line);
