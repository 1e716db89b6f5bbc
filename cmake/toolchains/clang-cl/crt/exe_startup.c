/* mainCRTStartup: the entry of a console program, doing what MSVC's static startup does on the
   Universal CRT, in its order. File, commit and locale modes stay the runtime's defaults; there is
   no atexit here, so C++ objects that need destroying at exit fail to link rather than leak. */
#include "startup.h"

#include <stdlib.h>

int main(int argc, char **argv, char **envp);

/* The status when the runtime or a C initialiser could not be set up (MSVC's for the latter). */
enum { STARTUP_INITIALIZER_FAILED = 255 };

DWORD WINAPI mainCRTStartup(void *peb)
{
    (void)peb;
    __security_init_cookie();
    _set_app_type(_crt_console_app);
    if (_configure_narrow_argv(_crt_argv_unexpanded_arguments) != 0 ||
        _initialize_narrow_environment() != 0 || run_initializers() != 0)
        return STARTUP_INITIALIZER_FAILED;
    exit(main(__argc, __argv, _get_initial_narrow_environment()));
}
