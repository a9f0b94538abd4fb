// Process-wide objects whose construction order matters. They live in one
// file because C++ fixes the order of static construction only within one.
#include "engine/linefile.h"

LineFile g_logStream;
