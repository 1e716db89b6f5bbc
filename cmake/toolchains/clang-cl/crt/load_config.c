/* The load config as MSVC's runtime gives it: the linker points the image's load-config entry at
   _load_config_used, through which the loader randomises the /GS cookie and, in an image linked
   with /guard:cf, finds the guard's pointers and tables. Wine's header stops at SEHandlerCount;
   lld-link wants it to reach GuardLongJumpTargetCount. */
#include "startup.h"

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
           its high half (zero) into the start of CodeIntegrity. */
        ULONGLONG GuardFlagsAddress;
    };
    BYTE CodeIntegrityRest[8];
    ULONGLONG GuardAddressTakenIatEntryTable;
    ULONGLONG GuardAddressTakenIatEntryCount;
    ULONGLONG GuardLongJumpTargetTable;
    ULONGLONG GuardLongJumpTargetCount;
} load_config_directory;

extern UINT_PTR __security_cookie;
extern void *__guard_check_icall_fptr;
extern void *__guard_dispatch_icall_fptr;
/* Made by the linker; their addresses are the values (all 0 without /guard:cf). */
extern void *__guard_fids_table[];
extern char __guard_fids_count;
extern char __guard_flags;
extern void *__guard_iat_table[];
extern char __guard_iat_count;
extern void *__guard_longjmp_table[];
extern char __guard_longjmp_count;

const load_config_directory _load_config_used = {
    .Size = sizeof(load_config_directory),
    .SecurityCookie = (ULONGLONG)&__security_cookie,
    .GuardCFCheckFunctionPointer = (ULONGLONG)&__guard_check_icall_fptr,
    .GuardCFDispatchFunctionPointer = (ULONGLONG)&__guard_dispatch_icall_fptr,
    .GuardCFFunctionTable = (ULONGLONG)__guard_fids_table,
    .GuardCFFunctionCount = (ULONGLONG)&__guard_fids_count,
    .GuardFlagsAddress = (ULONGLONG)&__guard_flags,
    .GuardAddressTakenIatEntryTable = (ULONGLONG)__guard_iat_table,
    .GuardAddressTakenIatEntryCount = (ULONGLONG)&__guard_iat_count,
    .GuardLongJumpTargetTable = (ULONGLONG)__guard_longjmp_table,
    .GuardLongJumpTargetCount = (ULONGLONG)&__guard_longjmp_count,
};
