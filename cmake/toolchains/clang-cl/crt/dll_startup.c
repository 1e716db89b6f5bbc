/* _DllMainCRTStartup: the entry of a DLL built with MSVC's static startup. Runs the initialisers
   when the DLL is loaded, then hands every notification to the DLL's DllMain. */
#include "startup.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void *reserved);

BOOL WINAPI _DllMainCRTStartup(HINSTANCE instance, DWORD reason, void *reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        __security_init_cookie();
        if (run_initializers() != 0)
            return FALSE;
    }
    return DllMain(instance, reason, reserved);
}
