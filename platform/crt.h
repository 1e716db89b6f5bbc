// The runtime's extensions the program uses. On Windows they come from the Universal CRT;
// elsewhere crt_posix.cpp stands in for them with the same contract.
#pragma once

#include <stdlib.h>

#ifndef _WIN32
#include <stddef.h>

typedef int errno_t;

// Gives *buffer an owned copy (release with free) of the variable's value, or null when it is
// not set; returns 0, or an errno value with *buffer null when the copy could not be made.
errno_t _dupenv_s(char **buffer, size_t *size, const char *name);
#endif
