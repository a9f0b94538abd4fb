// Runs one registry accessor operation in a process of its own, so that a
// test can see it under the platform Wine reports to this program.
//   registry_probe isnt                 exit code: IsNT()
//   registry_probe shlwapi              exit code: 1 when Shlwapi.dll is loaded
//   registry_probe deletekeytree PATH   exit code: 1 deleted, 0 not
//   registry_probe deletevalue PATH     exit code: 1 deleted, 0 not
// Exit code 2: unknown command line.
#include <cstring>

#include "registry/registry.h"

int main(int argc, char** argv)
{
    RegistryAccessor accessor;
    if (argc == 2 && strcmp(argv[1], "isnt") == 0)
        return accessor.IsNT();
    if (argc == 2 && strcmp(argv[1], "shlwapi") == 0)
        return GetModuleHandleA("shlwapi.dll") ? 1 : 0;
    if (argc == 3 && strcmp(argv[1], "deletekeytree") == 0)
        return accessor.DeleteKeyTree(argv[2]) ? 1 : 0;
    if (argc == 3 && strcmp(argv[1], "deletevalue") == 0)
        return accessor.DeleteValue(argv[2]) ? 1 : 0;
    return 2;
}
