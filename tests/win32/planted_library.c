/* A library as a downloaded archive might leave beside the program: it answers the help
   viewer's entry point (ordinal 14) with a window no real viewer returns, so a test sees at
   once whether it was loaded in place of the system's. */
#include <windows.h>

HWND WINAPI PlantedHelp(HWND owner, LPCSTR file, UINT command, DWORD_PTR data)
{
    (void)owner;
    (void)file;
    (void)command;
    (void)data;
    return (HWND)0x4410;
}
