// uninstall-check reads the log through the uninstaller's own reader, and
// compares paths and names as the uninstaller does.
#pragma once

#include <string>

#include "uninstall_log/log_reader.h"

// The text as the uninstaller compares paths and names: ASCII letters
// upper-cased, every other byte as it is.
std::string ComparisonKey(const std::string& text);
