/* A comctl32.dll as an unpacked archive might leave beside the program. Loaded, it leaves a
   mark beside itself ("planted-library-ran"), so a test sees whether it ran, and answers the one
   call the program makes so the program goes on as if nothing happened. */
#include <string.h>
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        char mark[MAX_PATH + 32];
        DWORD length = GetModuleFileNameA(self, mark, MAX_PATH);
        char* name = length > 0 && length < MAX_PATH ? strrchr(mark, '\\') : NULL;
        if (name != NULL) {
            lstrcpyA(name + 1, "planted-library-ran");
            CloseHandle(CreateFileA(mark, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
        }
    }
    return TRUE;
}

BOOL WINAPI PlantedInitCommonControlsEx(const void* controls)
{
    (void)controls;
    return TRUE;
}
