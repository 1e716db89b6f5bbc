/* The tables of initialisers. The compiler puts a pointer to each C++ dynamic initialiser in
   .CRT$XCU (C ones, rare, go in .CRT$XI*); the linker sorts the .CRT$X* sections by name, so the
   markers here bracket each table. Empty slots are skipped, as padding may leave some. */
#include "startup.h"

/* The tables are read-only data, as MSVC's: no section of their own in the image. */
#pragma comment(linker, "/merge:.CRT=.rdata")
#pragma section(".CRT$XIA", long, read)
#pragma section(".CRT$XIZ", long, read)
#pragma section(".CRT$XCA", long, read)
#pragma section(".CRT$XCZ", long, read)

__declspec(allocate(".CRT$XIA")) static _PIFV c_initializers_first[] = {NULL};
__declspec(allocate(".CRT$XIZ")) static _PIFV c_initializers_last[] = {NULL};
__declspec(allocate(".CRT$XCA")) static _PVFV cpp_initializers_first[] = {NULL};
__declspec(allocate(".CRT$XCZ")) static _PVFV cpp_initializers_last[] = {NULL};

int run_initializers(void)
{
    int failure = _initterm_e(c_initializers_first, c_initializers_last);
    if (failure != 0)
        return failure;
    _initterm(cpp_initializers_first, cpp_initializers_last);
    return 0;
}
