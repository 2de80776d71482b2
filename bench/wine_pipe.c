/* Relays each line of standard input to a Windows named pipe, as written:
 * the benchmark's way to hand mpv.exe, under Wine, a command through its
 * --input-ipc-server pipe at the moment it chooses.
 *   wine_pipe.exe \\.\pipe\NAME */
#include <stdio.h>
#include <string.h>
#include <windows.h>

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    HANDLE pipe = INVALID_HANDLE_VALUE;
    for (int tries = 0; tries < 200 && pipe == INVALID_HANDLE_VALUE; ++tries) {
        pipe = CreateFileA(argv[1], GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
        if (pipe == INVALID_HANDLE_VALUE)
            Sleep(50); /* until mpv.exe has made it */
    }
    if (pipe == INVALID_HANDLE_VALUE)
        return 1;
    puts("connected");
    fflush(stdout);
    char line[4096];
    while (fgets(line, sizeof line, stdin)) {
        DWORD written = 0;
        if (!WriteFile(pipe, line, (DWORD)strlen(line), &written, NULL))
            return 1;
    }
    CloseHandle(pipe);
    return 0;
}
