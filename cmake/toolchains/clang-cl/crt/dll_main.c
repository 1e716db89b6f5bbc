/* The DllMain of a DLL that has none of its own, as MSVC's: a member of its own in the library, so
   the linker takes it only when the DLL defines none. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void *reserved)
{
    (void)instance, (void)reason, (void)reserved;
    return TRUE;
}
