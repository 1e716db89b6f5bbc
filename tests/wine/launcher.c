/* The Wine suite's launcher: starts a program with an environment block it builds in UTF-16, so
   that each value reaches the program as given, untouched by Wine's conversion from Unix.
   Usage: launcher PROGRAM [NAME=VALUE | NAME]...  Entries are ASCII, \uXXXX standing for that
   UTF-16 code unit. The program gets the launcher's environment less every variable an entry
   names (names compared case-insensitively), plus the entries that have a value, and the
   launcher's standard handles; its exit status is passed back. */
#include <windows.h>

#include <shellapi.h>
#include <stdio.h>

/* The launcher's own failure: a status the probe never gives. */
enum { LAUNCHER_FAILED = 125 };

static int launcher_fail(const char *what, DWORD error)
{
    if (error != 0)
        fprintf(stderr, "launcher: %s failed, error %lu\n", what, (unsigned long)error);
    else
        fprintf(stderr, "launcher: %s\n", what);
    return LAUNCHER_FAILED;
}

/* The value of a hex digit, or -1. */
static int hex_digit(WCHAR c)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

/* Decodes \uXXXX in place. FALSE for a character outside ASCII, a backslash that starts no
   escape of exactly four hex digits, or an escaped NUL. */
static BOOL decode_entry(WCHAR *entry)
{
    WCHAR *out = entry;
    for (const WCHAR *in = entry; *in != L'\0'; out++) {
        if (*in > 0x7f)
            return FALSE;
        if (*in != L'\\') {
            *out = *in++;
            continue;
        }
        if (in[1] != L'u')
            return FALSE;
        unsigned unit = 0;
        for (int i = 2; i < 6; i++) {
            int digit = hex_digit(in[i]); /* the terminator, too, is no digit */
            if (digit < 0)
                return FALSE;
            unit = unit << 4 | (unsigned)digit;
        }
        if (unit == 0)
            return FALSE;
        *out = (WCHAR)unit;
        in += 6;
    }
    *out = L'\0';
    return TRUE;
}

/* The name's length: up to the first '=' after the first character ("=C:=C:\" is named "=C:"). */
static int name_length(const WCHAR *entry)
{
    int length = entry[0] == L'\0' ? 0 : 1;
    while (entry[length] != L'\0' && entry[length] != L'=')
        length++;
    return length;
}

static BOOL named_by(const WCHAR *variable, WCHAR **entries, int count)
{
    for (int i = 0; i < count; i++) {
        if (CompareStringOrdinal(variable, name_length(variable), entries[i],
                                 name_length(entries[i]), TRUE) == CSTR_EQUAL)
            return TRUE;
    }
    return FALSE;
}

/* The launcher's environment less the variables the entries name, plus those with a value. */
static WCHAR *build_environment(WCHAR **entries, int count)
{
    WCHAR *own = GetEnvironmentStringsW();
    if (own == NULL)
        return NULL;
    size_t size = 2; /* the block's end, and an empty block's */
    for (const WCHAR *variable = own; *variable != L'\0'; variable += lstrlenW(variable) + 1)
        size += (size_t)lstrlenW(variable) + 1;
    for (int i = 0; i < count; i++)
        size += (size_t)lstrlenW(entries[i]) + 1;

    WCHAR *block = HeapAlloc(GetProcessHeap(), 0, size * sizeof *block);
    if (block != NULL) {
        WCHAR *end = block;
        for (const WCHAR *variable = own; *variable != L'\0'; variable += lstrlenW(variable) + 1) {
            if (!named_by(variable, entries, count)) {
                lstrcpyW(end, variable);
                end += lstrlenW(variable) + 1;
            }
        }
        for (int i = 0; i < count; i++) {
            if (entries[i][name_length(entries[i])] == L'=') {
                lstrcpyW(end, entries[i]);
                end += lstrlenW(entries[i]) + 1;
            }
        }
        end[0] = end[1] = L'\0';
    }
    FreeEnvironmentStringsW(own);
    return block;
}

/* Runs the program and waits for it; LAUNCHER_FAILED if it could not be run. */
static int run(const WCHAR *program, WCHAR *environment)
{
    STARTUPINFOW startup = {.cb = (DWORD)sizeof startup,
                            .dwFlags = STARTF_USESTDHANDLES,
                            .hStdInput = GetStdHandle(STD_INPUT_HANDLE),
                            .hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE),
                            .hStdError = GetStdHandle(STD_ERROR_HANDLE)};
    /* Passed on only if inheritable. A console's pseudo-handles refuse this, and pass anyway. */
    SetHandleInformation(startup.hStdInput, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    SetHandleInformation(startup.hStdOutput, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    SetHandleInformation(startup.hStdError, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);

    /* No command line: the program's is its path as given (the probe reads no arguments). */
    PROCESS_INFORMATION process;
    if (!CreateProcessW(program, NULL, NULL, NULL, TRUE, CREATE_UNICODE_ENVIRONMENT, environment,
                        NULL, &startup, &process))
        return launcher_fail("CreateProcessW", GetLastError());

    DWORD status = LAUNCHER_FAILED;
    if (WaitForSingleObject(process.hProcess, INFINITE) != WAIT_OBJECT_0)
        status = (DWORD)launcher_fail("waiting for the program", GetLastError());
    else if (!GetExitCodeProcess(process.hProcess, &status))
        status = (DWORD)launcher_fail("GetExitCodeProcess", GetLastError());
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return (int)status;
}

static int launch(int argc, WCHAR **argv)
{
    if (argc < 2)
        return launcher_fail("usage: launcher PROGRAM [NAME=VALUE | NAME]...", 0);
    for (int i = 2; i < argc; i++) {
        if (!decode_entry(argv[i]) || name_length(argv[i]) == 0)
            return launcher_fail("an entry is not ASCII NAME[=VALUE] with \\uXXXX escapes", 0);
    }
    WCHAR *environment = build_environment(argv + 2, argc - 2);
    if (environment == NULL)
        return launcher_fail("could not build the environment", 0);
    int status = run(argv[1], environment);
    HeapFree(GetProcessHeap(), 0, environment);
    return status;
}

int main(void)
{
    int argc;
    WCHAR **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == NULL)
        return launcher_fail("CommandLineToArgvW", GetLastError());
    int status = launch(argc, argv);
    LocalFree(argv);
    return status;
}
