/* The load config as MSVC's runtime gives it: the linker points the image's load-config entry at
   _load_config_used, through which the loader randomises the /GS cookie and, in an image linked
   with /guard:cf, finds the guard's pointers and table. Wine's header stops at SEHandlerCount. */
#include "startup.h"

#include <stddef.h>

typedef struct {
    DWORD Size;
    DWORD TimeDateStamp;
    WORD MajorVersion;
    WORD MinorVersion;
    DWORD GlobalFlagsClear;
    DWORD GlobalFlagsSet;
    DWORD CriticalSectionDefaultTimeout;
    ULONGLONG DeCommitFreeBlockThreshold;
    ULONGLONG DeCommitTotalFreeThreshold;
    ULONGLONG LockPrefixTable;
    ULONGLONG MaximumAllocationSize;
    ULONGLONG VirtualMemoryThreshold;
    ULONGLONG ProcessAffinityMask;
    DWORD ProcessHeapFlags;
    WORD CSDVersion;
    WORD DependentLoadFlags;
    ULONGLONG EditList;
    ULONGLONG SecurityCookie;
    ULONGLONG SEHandlerTable;
    ULONGLONG SEHandlerCount;
    ULONGLONG GuardCFCheckFunctionPointer;
    ULONGLONG GuardCFDispatchFunctionPointer;
    ULONGLONG GuardCFFunctionTable;
    ULONGLONG GuardCFFunctionCount;
    union {
        DWORD GuardFlags;
        /* C cannot cut an address to 32 bits in a constant: the linker's value goes in whole,
           its high half (zero) into padding past Size. */
        ULONGLONG GuardFlagsAddress;
    };
} load_config_directory;

extern UINT_PTR __security_cookie;
extern void *__guard_check_icall_fptr;
extern void *__guard_dispatch_icall_fptr;
/* Made by the linker; their addresses are the values (all 0 without /guard:cf). */
extern void *__guard_fids_table[];
extern char __guard_fids_count;
extern char __guard_flags;

const load_config_directory _load_config_used = {
    .Size = offsetof(load_config_directory, GuardFlags) + sizeof(DWORD),
    .SecurityCookie = (ULONGLONG)&__security_cookie,
    .GuardCFCheckFunctionPointer = (ULONGLONG)&__guard_check_icall_fptr,
    .GuardCFDispatchFunctionPointer = (ULONGLONG)&__guard_dispatch_icall_fptr,
    .GuardCFFunctionTable = (ULONGLONG)__guard_fids_table,
    .GuardCFFunctionCount = (ULONGLONG)&__guard_fids_count,
    .GuardFlagsAddress = (ULONGLONG)&__guard_flags,
};
