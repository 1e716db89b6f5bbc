// The AESM connection probe: a tagged handle exists exactly when the service's COM class could
// be instantiated from this process.
#pragma once

#include <stdint.h>

#include "com.h"

inline constexpr uint32_t AESM_CONNECTION_MAGIC = 0x4EFAA2A3;
inline constexpr uint32_t AESM_CONNECTION_DEAD = 0xDDDDDDDD;

// {82367CAB-F2B9-461A-B6C6-889D13EFC6CA}
inline constexpr CLSID AESM_SERVICE_CLSID = {
    0x82367CAB, 0xF2B9, 0x461A, {0xB6, 0xC6, 0x88, 0x9D, 0x13, 0xEF, 0xC6, 0xCA}};
// {50AFD900-F309-4557-8FCB-10CFAB802CDD}
inline constexpr IID AESM_SERVICE_IID = {
    0x50AFD900, 0xF309, 0x4557, {0x8F, 0xCB, 0x10, 0xCF, 0xAB, 0x80, 0x2C, 0xDD}};

// Opaque to callers; the layout is here for the tests.
struct aesm_connection {
    uint32_t magic;
};

// A live handle, or null when the service could not be instantiated or the handle could not be
// allocated. Returns with no reference to the service and COM as it found it on this thread.
aesm_connection *aesm_connection_open(void);

// Ends a live handle. Null, or a record without the live tag, is ignored and left untouched.
void aesm_connection_close(aesm_connection *connection);
