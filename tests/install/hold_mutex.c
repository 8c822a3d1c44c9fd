/* Holds a named mutex, as a running updater program does, until told to let go.
   Usage: hold_mutex NAME READYFILE. Creates READYFILE once the mutex is held and lets go
   when READYFILE is removed (or after a minute, so a failed test leaves nothing behind). */
#include <stdio.h>
#include <windows.h>

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: hold_mutex NAME READYFILE\n");
        return 64;
    }
    HANDLE mutex = CreateMutexA(NULL, FALSE, argv[1]);
    if (mutex == NULL) {
        fprintf(stderr, "hold_mutex: CreateMutex failed (%lu)\n", GetLastError());
        return 1;
    }
    FILE *ready = fopen(argv[2], "w");
    if (ready == NULL) {
        fprintf(stderr, "hold_mutex: cannot create %s\n", argv[2]);
        return 1;
    }
    fclose(ready);
    for (int i = 0; i < 600 && GetFileAttributesA(argv[2]) != INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(100);
    CloseHandle(mutex);
    return 0;
}
