// The AESM connection probe, written once against the COM subset in com.h.
#include "aesm_client.h"

#include <stdlib.h>

aesm_connection *aesm_connection_open(void)
{
    IUnknown *service = nullptr;
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    // S_OK and S_FALSE each owe one CoUninitialize; anything else, RPC_E_CHANGED_MODE included,
    // leaves nothing to undo.
    if (static_cast<ULONG>(hr) > static_cast<ULONG>(S_FALSE))
        return nullptr;

    hr = CoCreateInstance(AESM_SERVICE_CLSID, nullptr, CLSCTX_ALL, AESM_SERVICE_IID,
                          reinterpret_cast<void **>(&service));
    // A failed call's pointer is not ours to release, whatever it holds; a success that gives no
    // object is no success.
    if (FAILED(hr) || service == nullptr) {
        CoUninitialize();
        return nullptr;
    }

    auto *connection = static_cast<aesm_connection *>(calloc(1, sizeof(aesm_connection)));
    if (connection != nullptr)
        connection->magic = AESM_CONNECTION_MAGIC;
    service->Release();
    CoUninitialize();
    return connection;
}

void aesm_connection_close(aesm_connection *connection)
{
    if (connection == nullptr || connection->magic != AESM_CONNECTION_MAGIC)
        return;
    // Volatile: a store just before free is otherwise dead to the optimiser.
    *static_cast<volatile uint32_t *>(&connection->magic) = AESM_CONNECTION_DEAD;
    free(connection);
}
