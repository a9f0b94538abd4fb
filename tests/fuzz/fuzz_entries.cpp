// A log entry and its further lines as the log reader gives them: the first character alone
// gives the kind; an INI entry splits into its section and the line key=value with nothing
// lost, or is refused; a program's working directory is never a cut path.
#include "engine/log_entry.h"
#include "fuzz_check.h"
#include "text/path_split.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t length)
{
    Fields fields{input, length};
    size_t sectionSize = fields.Number(300) + 1, lineSize = fields.Number(1100) + 1;
    size_t dirSize = fields.Number(300) + 1;
    std::string entry = fields.Text().substr(0, 259), value = fields.Text().substr(0, 1023);
    std::string second = fields.Text().substr(0, 259), third = fields.Text().substr(0, 127);
    std::string command = entry.substr(entry.empty() ? 0 : 1);

    EntryKind kind = ClassifyEntry(entry.c_str());
    CHECK(kind == ClassifyEntry(entry.substr(0, 1).c_str()));
    CHECK((kind == kFileEntry) == (entry.empty() || !strchr("%&-:;", entry[0])));
    if (entry.empty())
        return 0;

    auto section = ExactBuffer(sectionSize), line = ExactBuffer(lineSize);
    size_t slash = command.rfind('\\');
    CHECK(IniEntryHasValueLine(entry.c_str()) == (slash != std::string::npos));
    if (SplitIniEntry(entry.c_str(), value.c_str(), section.get(), sectionSize, line.get(),
                      lineSize)) {
        std::string name = TerminatedText(section.get(), sectionSize);
        std::string key = command.substr(slash + 1);
        CHECK(name.size() <= kMaxIniSectionLength && name + "\\" + key == command);
        CHECK(TerminatedText(line.get(), lineSize) == key + "=" + value);
    } else {
        CHECK(slash == std::string::npos || slash > kMaxIniSectionLength || slash >= sectionSize ||
              command.size() - slash + value.size() >= lineSize);
    }

    auto dir = ExactBuffer(dirSize);
    ChooseWorkDirectory(command.c_str(), second.c_str(), third.c_str(), dir.get(), dirSize);
    std::string chosen = TerminatedText(dir.get(), dirSize);
    if (third.size() <= 1)
        CHECK(chosen.empty() || chosen == command.substr(0, DirectoryPartLength(command.c_str())));
    else
        CHECK(chosen == FurtherLineValue(second.c_str()) || (chosen.empty() && second.size() >= dirSize));
    return 0;
}
