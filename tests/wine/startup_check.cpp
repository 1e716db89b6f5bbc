// What the static startup owes a program before main: the C initialisers, then the C++ ones, run
// once each; and a /GS cookie of its own, from the loader or, when the loader left the default,
// from __security_init_cookie. Exit status 0, or 1 with a line on stderr for each failure.
#include <stdio.h>
#include <windows.h>

extern "C" UINT_PTR __security_cookie;
extern "C" void __cdecl __security_init_cookie(void);

namespace {

// The value the cookie is linked with, which the loader replaces.
constexpr UINT_PTR SECURITY_COOKIE_DEFAULT = 0x00002B992DDFA232ull;

int initialised[4];
int initialised_count;

int c_initializer()
{
    initialised[initialised_count++] = 'C';
    return 0;
}

int cpp_initializer()
{
    initialised[initialised_count++] = '+';
    return static_cast<int>(GetCurrentProcessId());
}

// A dynamic initialiser, which the compiler lists in .CRT$XCU: a call it cannot fold into a
// constant keeps it one.
[[maybe_unused]] int cpp_initialised = cpp_initializer();

} // namespace

// A C initialiser, listed where the C runtime's startup looks for them.
#pragma section(".CRT$XIU", long, read)
extern "C" __declspec(allocate(".CRT$XIU")) int (*const startup_check_c_initializer)(void) =
    c_initializer;

// The cookie __security_init_cookie gives when the loader left the default; the program's own
// is restored before any checked frame returns.
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
        fprintf(stderr, "initialisers: %d ran, expected the C one, then the C++ one\n",
                initialised_count);
        failures++;
    }
    if (__security_cookie == SECURITY_COOKIE_DEFAULT) {
        fprintf(stderr, "the /GS cookie kept its default\n");
        failures++;
    }
    UINT_PTR fallback = fallback_cookie();
    if (fallback == SECURITY_COOKIE_DEFAULT || (fallback >> 48) != 0) {
        fprintf(stderr, "__security_init_cookie gave %#llx over the default\n",
                (unsigned long long)fallback);
        failures++;
    }
    return failures == 0 ? 0 : 1;
}
