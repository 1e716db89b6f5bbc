/* /GS support as MSVC's runtime gives it: the cookie clang-cl's stack checks compare against, and
   the check. The loader randomises the cookie through the load config (load_config.c). */
#include "startup.h"

#include <intrin.h>

/* The loader replaces the cookie only while it holds this value. */
#define SECURITY_COOKIE_DEFAULT ((UINT_PTR)0x00002B992DDFA232ull)
/* Both the loader's and MSVC's cookies keep the top 16 bits clear. */
#define SECURITY_COOKIE_MASK ((UINT_PTR)0x0000FFFFFFFFFFFFull)

UINT_PTR __security_cookie = SECURITY_COOKIE_DEFAULT;

void __cdecl __security_init_cookie(void)
{
    if (__security_cookie != SECURITY_COOKIE_DEFAULT)
        return;
    /* A loader that ignored the load config: what differs between runs, mixed. */
    FILETIME now;
    LARGE_INTEGER counter;
    GetSystemTimeAsFileTime(&now);
    QueryPerformanceCounter(&counter);
    UINT_PTR cookie = ((UINT_PTR)now.dwHighDateTime << 32 | now.dwLowDateTime) ^
                      ((UINT_PTR)GetCurrentThreadId() << 32 | GetCurrentProcessId()) ^
                      ((UINT_PTR)counter.QuadPart << 32 ^ (UINT_PTR)counter.QuadPart) ^
                      (UINT_PTR)&cookie;
    cookie &= SECURITY_COOKIE_MASK;
    __security_cookie = cookie == SECURITY_COOKIE_DEFAULT ? cookie + 1 : cookie;
}

/* Called by every function that has a cookie, before it returns; a mismatch means its frame was
   overwritten, and the process ends at once without unwinding through it. */
void __cdecl __security_check_cookie(UINT_PTR cookie)
{
    if (cookie != __security_cookie)
        __fastfail(FAST_FAIL_STACK_COOKIE_CHECK_FAILURE);
}
