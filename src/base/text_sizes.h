// Buffer sizes of the run's paths and shown texts, free of Windows headers
// so that uninstall-check measures texts against the same sizes.
#pragma once

enum {
    kPathSize = 260,
    kTextSize = 1024,
    kShortTextSize = 128,   // the restart question's caption, an INI section header
};
