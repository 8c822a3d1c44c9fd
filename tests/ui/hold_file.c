/* Holds a file open as another program would, until told to let go.
   Usage: hold_file PATH read|write READYFILE. Opens PATH for reading only or for writing,
   sharing it as the C runtime's fopen does, creates READYFILE once it holds it, and lets go
   when READYFILE is removed (or after a minute, so a failed test leaves nothing behind). */
#include <stdio.h>
#include <string.h>
#include <windows.h>

int main(int argc, char **argv)
{
    if (argc != 4 || (strcmp(argv[2], "read") != 0 && strcmp(argv[2], "write") != 0)) {
        fprintf(stderr, "usage: hold_file PATH read|write READYFILE\n");
        return 64;
    }
    const DWORD access = strcmp(argv[2], "write") == 0 ? GENERIC_WRITE : GENERIC_READ;
    HANDLE file = CreateFileA(argv[1], access, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "hold_file: cannot open %s (%lu)\n", argv[1], GetLastError());
        return 1;
    }
    FILE *ready = fopen(argv[3], "w");
    if (ready == NULL) {
        fprintf(stderr, "hold_file: cannot create %s\n", argv[3]);
        return 1;
    }
    fclose(ready);
    for (int i = 0; i < 600 && GetFileAttributesA(argv[3]) != INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(100);
    CloseHandle(file);
    return 0;
}
