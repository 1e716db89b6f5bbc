/* What the parts of the startup share: the Universal CRT's start-up calls that Wine's headers do
   not declare, and the steps every image's entry takes before the program's own code. */
#pragma once

#include <windows.h>

#include <corecrt_startup.h>

/* Where MSVC's libcmt.lib names the static UCRT (libucrt.lib), this one names the system's: the
   only one here. */
#pragma comment(lib, "ucrt")
#pragma comment(lib, "kernel32")

_ACRTIMP void __cdecl _initterm(_PVFV *first, _PVFV *last);
_ACRTIMP int __cdecl _initterm_e(_PIFV *first, _PIFV *last);

/* Gives the image's /GS cookie a value of its own, if the loader did not. First thing an entry
   calls: a function checked against the cookie must not be running yet. */
void __cdecl __security_init_cookie(void);

/* Runs the C initialisers, then the C++ ones (constructors of objects with static storage).
   Nonzero, and nothing further run, when a C initialiser fails. */
int run_initializers(void);
