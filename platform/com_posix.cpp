// POSIX stand-in for the COM subset in com.h. The service's class is reached by connecting to
// its Unix socket; the object created holds that connection until its last Release.
#include "com.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

// The class served here is the service's. Kept apart from the probe's own constants: the
// stand-in plays the outside runtime and knows the class by registration, not by the probe.
static constexpr CLSID COM_SERVICE_CLSID = {
    0x82367CAB, 0xF2B9, 0x461A, {0xB6, 0xC6, 0x88, 0x9D, 0x13, 0xEF, 0xC6, 0xCA}};
static constexpr IID COM_SERVICE_IID = {
    0x50AFD900, 0xF309, 0x4557, {0x8F, 0xCB, 0x10, 0xCF, 0xAB, 0x80, 0x2C, 0xDD}};

// A service whose backlog is full makes connect wait; bound it as COM bounds an activation.
static constexpr int COM_CONNECT_TIMEOUT_SECONDS = 5;

extern const IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// This thread's initialisations not yet balanced, and the concurrency model they chose.
static thread_local ULONG com_init_count;
static thread_local DWORD com_apartment;

// The pure virtuals of IUnknown are never called; this keeps the program off the C++ runtime.
extern "C" void __cxa_pure_virtual(void)
{
    __builtin_trap();
}

// COM's own signatures, pointers to non-const included.
// cppcheck-suppress [constParameter,constParameterPointer]
HRESULT CoInitializeEx(void *reserved, DWORD coinit)
{
    if (reserved != nullptr)
        return E_INVALIDARG;
    DWORD apartment = coinit & COINIT_APARTMENTTHREADED;
    if (com_init_count != 0 && apartment != com_apartment)
        return RPC_E_CHANGED_MODE;
    com_apartment = apartment;
    return com_init_count++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize(void)
{
    if (com_init_count != 0)
        com_init_count--;
}

namespace {

struct service_connection final : IUnknown {
    ULONG refs;
    int fd;

    // Built in calloc's memory by a placement new of its own: <new> is the C++ library's, and
    // the static build compiles against a C library's headers alone.
    static void *operator new(size_t, void *memory) noexcept
    {
        return memory;
    }

    HRESULT QueryInterface(REFIID riid, void **object) override
    {
        if (object == nullptr)
            return E_POINTER;
        if (!IsEqualGUID(riid, IID_IUnknown) && !IsEqualGUID(riid, COM_SERVICE_IID)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        *object = this;
        return S_OK;
    }

    ULONG AddRef() override
    {
        return ++refs;
    }

    ULONG Release() override
    {
        ULONG left = --refs;
        if (left == 0) {
            close(fd);
            this->~service_connection();
            free(this);
        }
        return left;
    }
};

// A connection to the service, or -1. Why it failed makes no difference to a caller: whatever the
// error (no such path, nothing listening, not a socket, no descriptor left, timed out), no server
// could be had.
int connect_service(void)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    static_assert(sizeof AESM_SOCKET_PATH <= sizeof address.sun_path, "socket path too long");
    memcpy(address.sun_path, AESM_SOCKET_PATH, sizeof AESM_SOCKET_PATH);

    int s = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return -1;
    timeval timeout = {COM_CONNECT_TIMEOUT_SECONDS, 0};
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    int rc;
    do
        rc = connect(s, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        close(s);
        return -1;
    }
    return s;
}

} // namespace

// cppcheck-suppress [constParameter,constParameterPointer]
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown *outer, DWORD clsctx, REFIID iid, void **object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (com_init_count == 0)
        return CO_E_NOTINITIALIZED;
    if (outer != nullptr)
        return CLASS_E_NOAGGREGATION;
    // The service runs as a local server; no other context can serve its class.
    if (!IsEqualGUID(clsid, COM_SERVICE_CLSID) || (clsctx & CLSCTX_LOCAL_SERVER) == 0)
        return REGDB_E_CLASSNOTREG;
    if (!IsEqualGUID(iid, IID_IUnknown) && !IsEqualGUID(iid, COM_SERVICE_IID))
        return E_NOINTERFACE;

    // Connecting first spares the heap on the path where the service is not there.
    int fd = connect_service();
    if (fd < 0)
        return CO_E_SERVER_EXEC_FAILURE;
    void *memory = calloc(1, sizeof(service_connection));
    if (memory == nullptr) {
        close(fd);
        return E_OUTOFMEMORY;
    }
    service_connection *connection = new (memory) service_connection;
    connection->refs = 1;
    connection->fd = fd;
    *object = static_cast<IUnknown *>(connection);
    return S_OK;
}
