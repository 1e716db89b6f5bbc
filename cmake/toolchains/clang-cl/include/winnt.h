/* Wine's <winnt.h>, whose inline InterlockedCompareExchange128 takes the name of a clang builtin
   (_InterlockedCompareExchange128) under clang-cl: Wine's gets a name of its own, callers the
   builtin, as with the Windows SDK. */
#pragma once

#define _InterlockedCompareExchange128 wine_InterlockedCompareExchange128
#include_next <winnt.h>
#undef _InterlockedCompareExchange128
