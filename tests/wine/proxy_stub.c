/* The proxy/stub DLL that lets COM marshal the service's interface between processes: widl's
   output for aesm_service.idl, built as one unit. */
#include <windows.h>

/* rpcrt4 exports these; mingw-w64's headers do not declare them. The generated code includes
   <rpcproxy.h> itself, after defining USE_STUBLESS_PROXY, which shapes the proxy's vtable header:
   included here first, the header would be read without it. */
HRESULT STDMETHODCALLTYPE IUnknown_QueryInterface_Proxy(IUnknown *self, REFIID iid, void **out);
ULONG STDMETHODCALLTYPE IUnknown_AddRef_Proxy(IUnknown *self);
ULONG STDMETHODCALLTYPE IUnknown_Release_Proxy(IUnknown *self);

#include "aesm_service_p.c"

#include "aesm_service_i.c"

#include "dlldata.c"
