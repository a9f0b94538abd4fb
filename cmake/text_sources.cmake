# Text routines that need no Win32 call; they also build natively, for
# sanitizers and fuzzing. Keep this list free of files that include windows.h.
set(TEXT_SOURCES
    src/text/buf.cpp
    src/text/path_split.cpp
    src/text/path_list.cpp
    src/text/linefile.cpp
    src/uninstall_log/log_entry.cpp
    src/uninstall_log/log_reader.cpp
    src/shell/cmdline_tokens.cpp
    src/engine/ini_lines.cpp
    src/engine/pending_list.cpp
    src/language/text_escapes.cpp
    src/paths/macro_text.cpp
    src/registry/registry_path.cpp
    src/diag/message_table.cpp
    src/diag/message_format.cpp
    src/logtools/log_walk.cpp
    src/logtools/log_check.cpp
)
