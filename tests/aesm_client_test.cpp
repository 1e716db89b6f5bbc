// The client's open and close against the scripted COM: one row per situation the probe meets.
// The contract is the COM calls and their order; where the record is allocated among them is not.
#include <stdlib.h>

#include <gtest/gtest.h>

#include "aesm_client.h"
#include "fake_com.h"

namespace {

#define INIT "CoInitializeEx(null, 6)"
#define CREATE                                                                                     \
    "CoCreateInstance({82367CAB-F2B9-461A-B6C6-889D13EFC6CA}, null, 23, "                          \
    "{50AFD900-F309-4557-8FCB-10CFAB802CDD})"
#define RELEASE "Release(service)"
#define UNINIT "CoUninitialize"

struct open_case {
    const char *name;
    fake_com_script script;
    const char *calls;
    bool live;
};

const open_case OPEN_CASES[] = {
    {"service reached",
     {S_OK, S_OK, FAKE_OBJECT_SERVICE, false},
     INIT "; " CREATE "; " RELEASE "; " UNINIT,
     true},
    {"already initialised the same way",
     {S_FALSE, S_OK, FAKE_OBJECT_SERVICE, false},
     INIT "; " CREATE "; " RELEASE "; " UNINIT,
     true},
    {"success code other than S_OK from create",
     {S_OK, S_FALSE, FAKE_OBJECT_SERVICE, false},
     INIT "; " CREATE "; " RELEASE "; " UNINIT,
     true},
    {"class not registered",
     {S_OK, REGDB_E_CLASSNOTREG, FAKE_OBJECT_NONE, false},
     INIT "; " CREATE "; " UNINIT,
     false},
    {"interface not supported",
     {S_FALSE, E_NOINTERFACE, FAKE_OBJECT_NONE, false},
     INIT "; " CREATE "; " UNINIT,
     false},
    {"other concurrency model",
     {RPC_E_CHANGED_MODE, S_OK, FAKE_OBJECT_SERVICE, false},
     INIT,
     false},
    {"initialisation out of memory",
     {E_OUTOFMEMORY, S_OK, FAKE_OBJECT_SERVICE, false},
     INIT,
     false},
    {"record allocation fails",
     {S_OK, S_OK, FAKE_OBJECT_SERVICE, true},
     INIT "; " CREATE "; " RELEASE "; " UNINIT,
     false},
    // The runtime reports success but gives no object: still uninitialised.
    {"success with a null object",
     {S_OK, S_OK, FAKE_OBJECT_NONE, false},
     INIT "; " CREATE "; " UNINIT,
     false},
    // A failure that leaves the pointer set: the pointer is not released, COM closed once.
    {"failure with a pointer left behind",
     {S_OK, CO_E_SERVER_EXEC_FAILURE, FAKE_OBJECT_JUNK, false},
     INIT "; " CREATE "; " UNINIT,
     false},
};

TEST(aesm_connection_open, meets_each_com_outcome)
{
    for (const open_case &c : OPEN_CASES) {
        SCOPED_TRACE(c.name);
        fake_com_start(c.script);
        aesm_connection *connection = aesm_connection_open();
        EXPECT_EQ(fake_com_stop(), c.calls);
        EXPECT_EQ(fake_service_references(), 0) << "a reference to the service was left";
        EXPECT_EQ(fake_com_init_depth(), 0) << "COM left initialised, or closed too often";
        if (c.live) {
            ASSERT_NE(connection, nullptr);
            EXPECT_EQ(connection->magic, 0x4EFAA2A3u);
        } else {
            EXPECT_EQ(connection, nullptr);
        }
        aesm_connection_close(connection);
    }
}

TEST(aesm_connection_close, ends_only_live_handles)
{
    fake_com_start({S_OK, S_OK, FAKE_OBJECT_SERVICE, false});
    aesm_connection_close(nullptr);
    EXPECT_EQ(fake_com_stop(), "");

    // A record without the live tag is neither changed nor freed.
    auto *foreign = static_cast<aesm_connection *>(calloc(1, sizeof(aesm_connection)));
    ASSERT_NE(foreign, nullptr);
    for (uint32_t tag : {0u, 0x12345678u, AESM_CONNECTION_DEAD}) {
        SCOPED_TRACE(tag);
        foreign->magic = tag;
        fake_com_start({S_OK, S_OK, FAKE_OBJECT_SERVICE, false});
        aesm_connection_close(foreign);
        EXPECT_EQ(fake_com_stop(), "");
        EXPECT_EQ(foreign->magic, tag);
    }
    free(foreign);

    // A live one is freed once, carrying the dead tag when its memory goes back.
    fake_com_start({S_OK, S_OK, FAKE_OBJECT_SERVICE, false});
    aesm_connection *live = aesm_connection_open();
    fake_com_stop();
    ASSERT_NE(live, nullptr);
    fake_com_start({S_OK, S_OK, FAKE_OBJECT_SERVICE, false});
    aesm_connection_close(live);
    EXPECT_EQ(fake_com_stop(), "free(tag DDDDDDDD)");
}

} // namespace
