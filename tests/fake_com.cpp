// The scripted COM and the wrapped heap behind fake_com.h.
#include "fake_com.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

extern "C" void *__real_calloc(size_t count, size_t size);
extern "C" void __real_free(void *block);

static fake_com_script script;
static bool recording;
static std::string calls; // "; "-joined
static int init_depth;

static void log_call(const std::string &call)
{
    if (recording)
        calls += (calls.empty() ? "" : "; ") + call;
}

// Identifiers are written out as text, so the log also checks the values the client passes.
static std::string guid_text(const GUID &g)
{
    char text[40];
    (void)snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                   static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                   g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

namespace {

struct fake_unknown final : IUnknown {
    const char *name;
    int references;

    HRESULT QueryInterface(REFIID, void **object) override
    {
        log_call(std::string("QueryInterface(") + name + ")");
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override
    {
        log_call(std::string("AddRef(") + name + ")");
        return static_cast<ULONG>(++references);
    }
    ULONG Release() override
    {
        log_call(std::string("Release(") + name + ")");
        return static_cast<ULONG>(--references);
    }
};

fake_unknown service_object;
fake_unknown junk_object;

} // namespace

void fake_com_start(const fake_com_script &new_script)
{
    script = new_script;
    calls.clear();
    init_depth = 0;
    service_object.name = "service";
    service_object.references = 0;
    junk_object.name = "junk";
    junk_object.references = 1;
    recording = true;
}

std::string fake_com_stop()
{
    recording = false;
    return calls;
}

int fake_service_references()
{
    return service_object.references;
}

int fake_com_init_depth()
{
    return init_depth;
}

const IID IID_IUnknown = {0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// cppcheck-suppress [constParameter,constParameterPointer]
HRESULT CoInitializeEx(void *reserved, DWORD coinit)
{
    log_call(std::string("CoInitializeEx(") + (reserved == nullptr ? "null" : "junk") + ", " +
             std::to_string(coinit) + ")");
    if (script.init_result == S_OK || script.init_result == S_FALSE)
        init_depth++;
    return script.init_result;
}

void CoUninitialize(void)
{
    log_call("CoUninitialize");
    init_depth--;
}

// cppcheck-suppress [constParameter,constParameterPointer]
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown *outer, DWORD clsctx, REFIID iid, void **object)
{
    log_call("CoCreateInstance(" + guid_text(clsid) + ", " + (outer == nullptr ? "null" : "outer") +
             ", " + std::to_string(clsctx) + ", " + guid_text(iid) + ")");
    switch (script.create_gives) {
    case FAKE_OBJECT_NONE:
        *object = nullptr;
        break;
    case FAKE_OBJECT_SERVICE:
        service_object.references = 1;
        *object = static_cast<IUnknown *>(&service_object);
        break;
    case FAKE_OBJECT_JUNK:
        *object = static_cast<IUnknown *>(&junk_object);
        break;
    }
    return script.create_result;
}

extern "C" void *__wrap_calloc(size_t count, size_t size)
{
    return recording && script.calloc_fails ? nullptr : __real_calloc(count, size);
}

// Shows the tag a record carries at the moment its memory is returned.
extern "C" void __wrap_free(void *block)
{
    if (recording && block != nullptr) {
        char call[32];
        (void)snprintf(call, sizeof call, "free(tag %08X)", *static_cast<uint32_t *>(block));
        log_call(call);
    }
    __real_free(block);
}
