// UninstallLogWriter: writes uninstall.log for the uninstaller, for use in
// installers. Header-only and free of Windows headers: copy this file.
//
//   UninstallLogWriter log;
//   log.Open("C:\\Program Files\\Demo App\\uninstall.log");
//   log.Header("Demo App", "DemoApp", "English");
//   log.File("C:\\Program Files\\Demo App\\demo.exe");
//   log.RegistryValue("HKEY_LOCAL_MACHINE\\Software\\Demo\\App\\InstallPath");
//   if (!log.Close()) report(log.Error());
//
// The header comes first; every line ends with CR LF, the last one included.
// A call whose entry the uninstaller could not act on as meant writes
// nothing and returns false, with the reason in Error(); later calls go on.
#pragma once

#include <cstdio>
#include <cstring>
#include <set>
#include <string>

class UninstallLogWriter {
public:
    UninstallLogWriter() = default;
    UninstallLogWriter(const UninstallLogWriter&) = delete;
    UninstallLogWriter& operator=(const UninstallLogWriter&) = delete;
    ~UninstallLogWriter() { Close(); }

    bool Open(const char* path)
    {
        Close();
        file_ = fopen(path, "wb");
        headerWritten_ = writeFailed_ = false;
        paths_.clear();
        return file_ ? true : Refuse("cannot create the log file");
    }

    // language: a section of lang.ini, or "" to let the user choose.
    bool Header(const char* productName, const char* productKey, const char* language)
    {
        if (!file_ || headerWritten_)
            return Refuse("the header goes first, once, into an open log");
        if (!IsText(productName, 1022) || !IsText(productKey, 126) || !IsText(language, 103))
            return Refuse("product name (1022), product key (126) and language (103): "
                          "single-line text of at most these lengths");
        headerWritten_ = true;
        return Line("", productName) && Line("", productKey) && Line("", language);
    }

    bool File(const char* path) { return LoggedFile("", path); }
    // DllUnregisterServer is called before the file is deleted.
    bool SelfRegisteringModule(const char* path) { return LoggedFile("%", path); }
    // Taken out of the font table before the file is deleted.
    bool Font(const char* path) { return LoggedFile("&", path); }

    // The line key=value, removed from [section] of system.ini.
    bool IniLine(const char* section, const char* key, const char* value)
    {
        std::string entry = std::string(section) + "\\" + key;
        if (!IsText(section, 125) || !IsText(key, 256) || !key[0] || strchr(key, '\\') ||
            !IsText(value, 1022) || strlen(key) + 1 + strlen(value) > 1023 ||
            !IsText(entry.c_str(), 257))
            return Refuse("INI line: a section of at most 125 characters, a key without "
                          "backslash, key=value at most 1023 characters");
        return Entry() && Line("-", entry.c_str()) && Line("", value);
    }

    // A Registry Path: a root key name in capitals, a backslash, the key path,
    // a backslash and the value name ("(default)" for the unnamed value).
    bool RegistryValue(const char* path)
    {
        static const char* const kRoots[] = {
            "HKEY_CLASSES_ROOT\\", "HKEY_CURRENT_CONFIG\\", "HKEY_CURRENT_USER\\",
            "HKEY_LOCAL_MACHINE\\", "HKEY_USERS\\", "HKEY_PERFORMANCE_DATA\\", "HKEY_DYN_DATA\\"};
        bool rooted = false;
        for (const char* root : kRoots)
            rooted = rooted || (strncmp(path, root, strlen(root)) == 0 && path[strlen(root)]);
        const char* name = strrchr(path, '\\') + (rooted ? 1 : 0);
        if (!rooted || !IsText(path, 257) || strlen(name) > 99)
            return Refuse("registry value: a root key name in capitals and a backslash, at most "
                          "257 characters, a value name of at most 99");
        return Entry() && Line(":", path);
    }

    // Runs commandLine and waits for it; in workingDirectory, or with an
    // empty one in the directory of the command line (which must then be
    // unquoted).
    bool Program(const char* commandLine, const char* workingDirectory)
    {
        bool inOwnDirectory = !workingDirectory[0];
        if (!IsText(commandLine, 257) || !commandLine[0] ||
            (inOwnDirectory && commandLine[0] == '"') ||
            (!inOwnDirectory && (!IsText(workingDirectory, 257) || !IsPlainPath(workingDirectory))))
            return Refuse("program: a command line of at most 257 characters; a working "
                          "directory given as a full path, which a quoted command line needs");
        return Entry() && Line(";", commandLine) && Line(";", workingDirectory) &&
               Line(";", inOwnDirectory ? "" : "1");
    }

    // False when any write failed; the reason of the last refusal stays.
    bool Close()
    {
        if (!file_)
            return writeFailed_ ? Refuse("the log could not be written in full") : true;
        writeFailed_ = fclose(file_) != 0 || writeFailed_;
        file_ = nullptr;
        return writeFailed_ ? Refuse("the log could not be written in full") : true;
    }

    const char* Error() const { return error_.c_str(); }

private:
    bool Refuse(const char* why)
    {
        error_ = why;
        return false;
    }

    // Single-line text without control bytes, of at most maxLength characters.
    static bool IsText(const char* text, size_t maxLength)
    {
        size_t length = 0;
        for (; text[length]; ++length)
            if (static_cast<unsigned char>(text[length]) < 32)
                return false;
        return length <= maxLength;
    }

    // A full path, used as written: no macros, no steps up, backslashes only.
    static bool IsPlainPath(const char* path)
    {
        bool drive = ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z') && path[1] == ':' &&
                     path[2] == '\\';
        std::string text = std::string("\\") + path + "\\";
        return (drive || strncmp(path, "\\\\", 2) == 0) && !strpbrk(path, "%/") &&
               text.find("\\..\\") == std::string::npos && text.find("\\.\\") == std::string::npos;
    }

    static std::string Upper(const std::string& text)
    {
        std::string upper(text);
        for (char& c : upper)
            c = (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
        return upper;
    }

    // Each file once, and never one that is the directory of another.
    bool LoggedFile(const char* kind, const char* path)
    {
        std::string upper = Upper(path);
        if (!IsText(path, 258 - strlen(kind)) || !IsPlainPath(path) || upper.back() == '\\')
            return Refuse("file: a full path of a file, at most 258 characters with its kind "
                          "character, without %, /, . or .. steps");
        std::string asDirectory = upper + "\\";
        auto below = paths_.lower_bound(asDirectory);
        bool isDirectory =
            below != paths_.end() && below->compare(0, asDirectory.size(), asDirectory) == 0;
        bool inFile = false;
        for (size_t at = upper.find('\\'); at != std::string::npos; at = upper.find('\\', at + 1))
            inFile = inFile || paths_.count(upper.substr(0, at));
        if (paths_.count(upper) || isDirectory || inFile)
            return Refuse("file: listed already, or the directory of a listed file");
        if (!Entry() || !Line(kind, path))
            return false;
        paths_.insert(upper);
        return true;
    }

    bool Entry() { return headerWritten_ && file_ ? true : Refuse("write the header first"); }

    bool Line(const char* kind, const char* text)
    {
        writeFailed_ = writeFailed_ || fprintf(file_, "%s%s\r\n", kind, text) < 0;
        return !writeFailed_ || Refuse("the log could not be written");
    }

    FILE* file_ = nullptr;
    bool headerWritten_ = false;
    bool writeFailed_ = false;
    std::set<std::string> paths_;
    std::string error_;
};
