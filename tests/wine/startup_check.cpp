// What the static startup owes a program before main: the C initialisers, then the C++ ones, once
// each; and a /GS cookie of its own, from the loader or, when the loader left the default, from
// __security_init_cookie, a new one each time. Exit status 0, or 1 with a line on stderr for each
// failure.
#include <stdio.h>
#include <windows.h>

extern "C" UINT_PTR __security_cookie;
extern "C" void __cdecl __security_init_cookie(void);

// The value the cookie is linked with, which the loader replaces.
static constexpr UINT_PTR SECURITY_COOKIE_DEFAULT = 0x00002B992DDFA232ull;

static char initialised[4];
static int initialised_count;

static int c_initializer()
{
    initialised[initialised_count++] = 'C';
    return 0;
}
#pragma section(".CRT$XIU", long, read)
extern "C" __declspec(allocate(".CRT$XIU")) int (*const startup_check_c_initializer)(void) =
    c_initializer;

// A call the compiler cannot fold keeps this a dynamic initialiser (listed in .CRT$XCU).
[[maybe_unused]] static DWORD cpp_initialised =
    (initialised[initialised_count++] = '+', GetCurrentProcessId());

// __security_init_cookie's value where the loader left the default. No checked frame is live
// while the cookie changes (main and this have none), and it is restored.
static UINT_PTR fallback_cookie()
{
    UINT_PTR own = __security_cookie;
    __security_cookie = SECURITY_COOKIE_DEFAULT;
    __security_init_cookie();
    UINT_PTR fallback = __security_cookie;
    __security_cookie = own;
    return fallback;
}

int main()
{
    int failures = 0;
    if (initialised_count != 2 || initialised[0] != 'C' || initialised[1] != '+') {
        fprintf(stderr, "initialisers: %d ran, not the C one, then the C++ one\n",
                initialised_count);
        failures++;
    }
    if (__security_cookie == SECURITY_COOKIE_DEFAULT) {
        fprintf(stderr, "the /GS cookie kept its default\n");
        failures++;
    }
    // Two taken apart in time differ: a fixed value would pass every other check.
    UINT_PTR first = fallback_cookie();
    Sleep(1);
    UINT_PTR second = fallback_cookie();
    if (first == second || first == 0 || second == 0 || first == SECURITY_COOKIE_DEFAULT ||
        second == SECURITY_COOKIE_DEFAULT || ((first | second) >> 48) != 0) {
        fprintf(stderr, "__security_init_cookie gave %#llx, then %#llx, for the default\n",
                (unsigned long long)first, (unsigned long long)second);
        failures++;
    }
    return failures == 0 ? 0 : 1;
}
