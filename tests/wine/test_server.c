/* A stand-in for the AESM service's COM class, for the Wine suite: with TEST_SERVER_DLL an
   in-process server, else an out-of-process one run as a service or by COM with -Embedding.
   It appends what it sees to server.log beside its image; the tests read that. */
#include <windows.h>

#include <objbase.h>
#include <stdarg.h>
#include <stdio.h>

/* CLSID_AesmService and IID_IAesmService, defined here. */
#include <initguid.h>

#include "aesm_service.h"

/* A REG_SZ on the class's key; "refuse" makes its objects deny IID_IAesmService. */
static const WCHAR SERVER_MODE_VALUE[] = L"TestServerMode";

static HMODULE server_module;
static LONG server_live;   /* objects plus LockServer locks */
static HANDLE server_done; /* out of process: set when nothing is live */

static void server_log(const char *format, ...)
{
    WCHAR path[MAX_PATH];
    DWORD length = GetModuleFileNameW(server_module, path, MAX_PATH);
    while (length > 0 && path[length - 1] != L'\\')
        length--;
    if (length == 0 || length + 11 > MAX_PATH)
        return;
    lstrcpyW(path + length, L"server.log");

    char line[128];
    va_list args;
    va_start(args, format);
    int size = vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (size < 0 || size >= (int)sizeof line - 1)
        return;
    line[size++] = '\n';
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written;
    WriteFile(file, line, (DWORD)size, &written, NULL);
    CloseHandle(file);
}

static BOOL server_refuses(void)
{
    WCHAR key[6 + 39] = L"CLSID\\";
    WCHAR mode[16];
    DWORD size = sizeof mode;
    return StringFromGUID2(&CLSID_AesmService, key + 6, 39) != 0 &&
           RegGetValueW(HKEY_CLASSES_ROOT, key, SERVER_MODE_VALUE, RRF_RT_REG_SZ, NULL, mode,
                        &size) == ERROR_SUCCESS &&
           lstrcmpW(mode, L"refuse") == 0;
}

static void server_unref(void)
{
    LONG live = InterlockedDecrement(&server_live);
    if (live == 0 && server_done != NULL)
        SetEvent(server_done);
}

struct service_object {
    IUnknown iface;
    LONG refs;
    BOOL refuses;
};

static HRESULT STDMETHODCALLTYPE object_query_interface(IUnknown *iface, REFIID iid, void **out)
{
    struct service_object *object = (struct service_object *)iface;
    if (IsEqualIID(iid, &IID_IUnknown) ||
        (IsEqualIID(iid, &IID_IAesmService) && !object->refuses)) {
        InterlockedIncrement(&object->refs);
        *out = iface;
        return S_OK;
    }
    *out = NULL;
    return E_NOINTERFACE;
}

static ULONG STDMETHODCALLTYPE object_add_ref(IUnknown *iface)
{
    return InterlockedIncrement(&((struct service_object *)iface)->refs);
}

static ULONG STDMETHODCALLTYPE object_release(IUnknown *iface)
{
    LONG refs = InterlockedDecrement(&((struct service_object *)iface)->refs);
    if (refs == 0) {
        HeapFree(GetProcessHeap(), 0, iface);
        server_log("object released");
        server_unref();
    }
    return refs;
}

static IUnknownVtbl object_vtbl = {object_query_interface, object_add_ref, object_release};

/* The class object is static: its references keep nothing alive. */
static HRESULT STDMETHODCALLTYPE factory_query_interface(IClassFactory *iface, REFIID iid,
                                                         void **out)
{
    if (IsEqualIID(iid, &IID_IUnknown) || IsEqualIID(iid, &IID_IClassFactory)) {
        *out = iface;
        return S_OK;
    }
    *out = NULL;
    return E_NOINTERFACE;
}

static ULONG STDMETHODCALLTYPE factory_add_ref(IClassFactory *iface)
{
    (void)iface;
    return 2;
}

static ULONG STDMETHODCALLTYPE factory_release(IClassFactory *iface)
{
    (void)iface;
    return 1;
}

static HRESULT STDMETHODCALLTYPE factory_create_instance(IClassFactory *iface, IUnknown *outer,
                                                         REFIID iid, void **out)
{
    (void)iface;
    *out = NULL;
    if (outer != NULL)
        return CLASS_E_NOAGGREGATION;
    struct service_object *object = HeapAlloc(GetProcessHeap(), 0, sizeof *object);
    if (object == NULL)
        return E_OUTOFMEMORY;
    object->iface.lpVtbl = &object_vtbl;
    object->refs = 1;
    object->refuses = server_refuses();
    InterlockedIncrement(&server_live);
    server_log(object->refuses ? "object created, refusing the interface" : "object created");
    HRESULT hr = object_query_interface(&object->iface, iid, out);
    object_release(&object->iface);
    return hr;
}

static HRESULT STDMETHODCALLTYPE factory_lock_server(IClassFactory *iface, BOOL lock)
{
    (void)iface;
    if (lock)
        InterlockedIncrement(&server_live);
    else
        server_unref();
    return S_OK;
}

static IClassFactoryVtbl factory_vtbl = {factory_query_interface, factory_add_ref, factory_release,
                                         factory_create_instance, factory_lock_server};
static IClassFactory server_factory = {&factory_vtbl};

#ifdef TEST_SERVER_DLL

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void *reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        server_module = instance;
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        /* Unloaded while the process goes on only once COM found nothing held. */
        server_log("dll detached by %s, live %ld", reserved == NULL ? "unload" : "process exit",
                   server_live);
    }
    return TRUE;
}

HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void **out)
{
    server_log("dll asked for its class");
    if (!IsEqualCLSID(clsid, &CLSID_AesmService)) {
        *out = NULL;
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return factory_query_interface(&server_factory, iid, out);
}

HRESULT WINAPI DllCanUnloadNow(void)
{
    return server_live == 0 ? S_OK : S_FALSE;
}

#else

static const WCHAR SERVER_SERVICE_NAME[] = L"AesmTestServer";
/* An out-of-process server nobody calls gives up after this long. */
static const DWORD SERVER_IDLE_LIMIT_MS = 20000;
static SERVICE_STATUS_HANDLE server_status;

/* Serves the class until its objects are gone (or nobody came), then withdraws it. */
static void serve(void)
{
    DWORD cookie;
    HRESULT hr = CoInitializeEx(NULL, COINIT_MULTITHREADED);
    if (SUCCEEDED(hr))
        hr = CoRegisterClassObject(&CLSID_AesmService, (IUnknown *)&server_factory,
                                   CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie);
    if (FAILED(hr)) {
        server_log("class not registered: 0x%08lx", (unsigned long)hr);
        return;
    }
    if (WaitForSingleObject(server_done, SERVER_IDLE_LIMIT_MS) != WAIT_OBJECT_0)
        server_log("idle limit reached");
    CoRevokeClassObject(cookie);
    CoUninitialize();
    server_log("class revoked, live %ld", server_live);
}

static void service_set_state(DWORD state)
{
    SERVICE_STATUS status = {SERVICE_WIN32_OWN_PROCESS,
                             state,
                             state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0,
                             NO_ERROR,
                             0,
                             0,
                             0};
    SetServiceStatus(server_status, &status);
}

static DWORD WINAPI service_control(DWORD control, DWORD type, void *data, void *context)
{
    (void)type, (void)data, (void)context;
    if (control == SERVICE_CONTROL_STOP)
        SetEvent(server_done);
    return NO_ERROR;
}

static void WINAPI service_main(DWORD argc, WCHAR **argv)
{
    (void)argc, (void)argv;
    server_status = RegisterServiceCtrlHandlerExW(SERVER_SERVICE_NAME, service_control, NULL);
    if (server_status == NULL)
        return;
    server_log("started as a service");
    service_set_state(SERVICE_RUNNING);
    serve();
    service_set_state(SERVICE_STOPPED);
}

int main(int argc, char **argv)
{
    /* The process's own hold on the multithreaded apartment, never given back: the apartment
       ends with the process, not when serve() leaves it. Torn down while the client's last call
       is still completing (the one that released the last object, or its release of the class
       object that follows a refusal), Wine's RPC runtime can wait for that call forever: its
       RpcServerUnregisterIf misses the call's end. */
    if (FAILED(CoInitializeEx(NULL, COINIT_MULTITHREADED))) {
        server_log("no apartment");
        return 1;
    }
    server_done = CreateEventW(NULL, TRUE, FALSE, NULL);
    if (argc > 1 && argv[1][0] != '\0' && lstrcmpiA(argv[1] + 1, "Embedding") == 0) {
        server_log("started by COM");
        serve();
    } else {
        SERVICE_TABLE_ENTRYW services[] = {{(WCHAR *)SERVER_SERVICE_NAME, service_main},
                                           {NULL, NULL}};
        if (!StartServiceCtrlDispatcherW(services)) {
            server_log("not run by the service manager");
            return 1;
        }
    }
    server_log("exited");
    return 0;
}

#endif
