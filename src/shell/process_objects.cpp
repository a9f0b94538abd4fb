// Process-wide objects whose construction order matters. They live in one
// file because C++ fixes the order of static construction only within one.
#include "engine/linefile.h"
#include "registry/registry.h"

LineFile g_logStream;
RegistryAccessor g_registry;
