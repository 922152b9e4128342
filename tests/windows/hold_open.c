/* hold_open SHARE FILE COMMAND...: opens FILE for writing, sharing it only
 * as SHARE says (letters r, w, d: read, write, delete), runs COMMAND while
 * holding it, and closes it. Stands in for another program or another
 * call writing the file. Exit status: the command's, or 100 when the file
 * or the command cannot be set up. */
#include <windows.h>

#include <wchar.h>

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) return 100;
    DWORD share = 0;
    if (wcschr(argv[1], L'r') != NULL) share |= FILE_SHARE_READ;
    if (wcschr(argv[1], L'w') != NULL) share |= FILE_SHARE_WRITE;
    if (wcschr(argv[1], L'd') != NULL) share |= FILE_SHARE_DELETE;
    HANDLE held = CreateFileW(argv[2], GENERIC_WRITE, share, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (held == INVALID_HANDLE_VALUE) return 100;
    wchar_t command[4096] = L"";
    for (int k = 3; k < argc; ++k) {
        wcscat(command, L"\"");
        wcscat(command, argv[k]);
        wcscat(command, L"\" ");
    }
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        return 100;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 100;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(held);
    return (int)status;
}
