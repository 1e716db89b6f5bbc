/* Wine's <stdlib.h>, with what the Windows SDK's declares beyond it and the project uses. */
#pragma once

#include_next <stdlib.h>

#ifdef __cplusplus
extern "C" {
#endif

_ACRTIMP errno_t __cdecl _dupenv_s(char **buffer, size_t *size, const char *name);

#ifdef __cplusplus
}
#endif
