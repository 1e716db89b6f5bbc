/* Control-flow guard as MSVC's runtime supports it. Code built with /guard:cf makes each indirect
   call through __guard_dispatch_icall_fptr, target in rax; the load config names both pointers,
   and a loader that enforces the guard points them at its own check. Until then (and under a
   loader that does not) every target is allowed: the check does nothing, the dispatch jumps. */
#include "startup.h"

static void __cdecl guard_check_icall_nop(UINT_PTR target)
{
    (void)target;
}

/* clang-cl reads file-scope assembly in MSVC's syntax from LLVM 19 on, in AT&T's before: the
   syntax is named here. */
void guard_dispatch_icall_nop(void);
__asm__(".text\n"
        ".att_syntax\n"
        ".globl guard_dispatch_icall_nop\n"
        "guard_dispatch_icall_nop:\n"
        "    jmp *%rax\n");

/* Read-only, as MSVC's: only the loader writes them, before any code of the image runs. */
#pragma section(".00cfg", read)
__declspec(allocate(".00cfg")) void *__guard_check_icall_fptr = (void *)guard_check_icall_nop;
__declspec(allocate(".00cfg")) void *__guard_dispatch_icall_fptr = (void *)guard_dispatch_icall_nop;
