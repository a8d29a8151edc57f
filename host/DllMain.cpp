// The plug-in's entry point: the hooks go in at attach and stay for the process's life.
#include <windows.h>

#include "host/Patching.h"
#include "render/Resources.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        InstallHooks();
    else if (reason == DLL_PROCESS_DETACH)
        ReleaseResources();
    return TRUE;
}
