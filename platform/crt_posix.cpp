// POSIX stand-in for the runtime extensions in crt.h, and the stream behaviour the program
// expects of the Windows runtime.
#include "crt.h"

#include <errno.h>
#include <signal.h>
#include <string.h>

errno_t _dupenv_s(char **buffer, size_t *size, const char *name)
{
    if (buffer == nullptr || name == nullptr)
        return EINVAL;
    *buffer = nullptr;
    if (size != nullptr)
        *size = 0;
    const char *value = getenv(name);
    if (value == nullptr)
        return 0;
    char *copy = strdup(value);
    if (copy == nullptr)
        return ENOMEM;
    *buffer = copy;
    if (size != nullptr)
        *size = strlen(copy) + 1;
    return 0;
}

// On Windows a write to a closed pipe fails and the program goes on; here it would raise SIGPIPE
// and end the process with a status that is not the outcome's. Writes report EPIPE instead.
__attribute__((constructor)) static void ignore_sigpipe(void)
{
    (void)signal(SIGPIPE, SIG_IGN);
}
