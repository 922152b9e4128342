/* named_pipe_output COPY COMMAND...: runs COMMAND with one more argument, a
 * named pipe \\.\pipe\NAME, and copies what arrives through the pipe to the
 * file COPY. Catches a library that opens the pipe once just to look at it
 * and so takes the one instance the real write needs. Exit status: the
 * command's, or 100 when the pipe or the command cannot be set up. */
#include <windows.h>

#include <stdio.h>
#include <wchar.h>

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 100;
    wchar_t pipe[64];
    swprintf(pipe, 64, L"\\\\.\\pipe\\tolvimo-check-%lu", GetCurrentProcessId());
    HANDLE server = CreateNamedPipeW(pipe, PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 0,
                                     65536, 0, NULL);
    FILE* copy = _wfopen(argv[1], L"wb");
    if (server == INVALID_HANDLE_VALUE || copy == NULL) return 100;
    wchar_t command[4096] = L"";
    for (int k = 2; k < argc; ++k) {
        wcscat(command, L"\"");
        wcscat(command, argv[k]);
        wcscat(command, L"\" ");
    }
    wcscat(command, pipe);
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        return 100;
    }
    if (ConnectNamedPipe(server, NULL) || GetLastError() == ERROR_PIPE_CONNECTED) {
        char buffer[65536];
        DWORD got = 0;
        while (ReadFile(server, buffer, sizeof buffer, &got, NULL) && got > 0) {
            fwrite(buffer, 1, got, copy);
        }
    }
    fclose(copy);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 100;
    GetExitCodeProcess(process.hProcess, &status);
    return (int)status;
}
