// Plays the user of the demo: starts uninstall.exe, takes a picture of each
// window it shows and answers it. Arguments: the uninstaller's path and the
// folder for the pictures. Exits with the uninstaller's exit code.
#include <windows.h>

#include <cstdio>
#include <string>

#include "resources/resource.h"
#include "support/test_env.h"
#include "support/ui_driver.h"

namespace {

std::string g_pictures;
int g_pictureCount;

void Picture(HWND window, const char* name)
{
    Sleep(400);   // let it paint
    char path[MAX_PATH];
    snprintf(path, sizeof path, "%s\\%d-%s.bmp", g_pictures.c_str(), ++g_pictureCount, name);
    if (ui::SaveWindowBitmap(window, path))
        printf("picture: %s\n", path);
}

void AnswerBox(DWORD pid, const char* name, int answer)
{
    ui::MessageBox box;
    if (!ui::WaitForMessageBox(&box, 20000, pid))
        return;
    printf("%s: \"%s\" / \"%s\"\n", name, box.caption.c_str(), box.text.c_str());
    Picture(box.window, name);
    ui::AnswerMessageBox(box, answer);
    ui::WaitForWindowGone(box.window, 5000);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    g_pictures = argv[2];
    testenv::Process uninstaller;
    if (!uninstaller.Start(std::string("\"") + argv[1] + "\""))
        return 3;
    DWORD pid = uninstaller.Id();

    HWND language = ui::WaitForWindow("#32770", "Language", 20000, pid);
    if (language) {
        Picture(language, "language");
        ui::PressButton(language, IDOK);
    }
    AnswerBox(pid, "confirm", IDYES);

    HWND dialog = ui::WaitForWindow("KSWUNINST", nullptr, 20000, pid);
    if (!dialog)
        return 4;
    Picture(dialog, "progress");

    HWND question = ui::WaitForWindow("#32770", "demoshr.dll", 20000, pid);
    if (question) {
        Picture(question, "system-file");
        ui::PressButton(question, IDC_SYSFILE_YES);
    }
    for (int i = 0; i < 600 && !ui::ControlEnabled(dialog, IDOK); ++i)
        Sleep(100);
    Picture(dialog, "done");
    ui::PressButton(dialog, IDOK);

    AnswerBox(pid, "restart", IDNO);
    DWORD code = uninstaller.Wait(20000);
    printf("uninstall.exe exit code: %lu\n", code);
    return int(code);
}
