// The POSIX COM stand-in against real sockets: it must answer as COM does for everything the
// probe relies on, which is S_OK, S_FALSE or a failure, not which failure. Built to find the
// service's socket in the working directory.
#include <errno.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "aesm_client.h"
#include "com.h"
#include "crt.h"
#include "test_support.h"

namespace {

const GUID OTHER_GUID = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
const DWORD APARTMENT = COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE;

// Pre-filled into out-pointers, to see that a failed call sets them to null.
void *const JUNK = reinterpret_cast<void *>(0xdeadbeef);

class com_posix : public testing::Test {
  protected:
    void SetUp() override
    {
        folder = make_test_folder();
        ASSERT_NE(getcwd(saved_cwd, sizeof saved_cwd), nullptr);
        ASSERT_EQ(chdir(folder.c_str()), 0);
    }
    void TearDown() override
    {
        EXPECT_EQ(chdir(saved_cwd), 0);
        remove_test_folder(folder);
    }
    std::string folder;
    char saved_cwd[4096];
};

HRESULT create(REFCLSID clsid, DWORD context, REFIID iid, void **object)
{
    *object = JUNK;
    return CoCreateInstance(clsid, nullptr, context, iid, object);
}

TEST_F(com_posix, initialisation_is_per_thread_counted_and_one_model)
{
    int listener = listen_unix("aesm.socket");
    void *object;
    EXPECT_TRUE(FAILED(create(AESM_SERVICE_CLSID, CLSCTX_ALL, AESM_SERVICE_IID, &object)))
        << "created before initialisation";
    EXPECT_EQ(object, nullptr);

    EXPECT_EQ(CoInitializeEx(nullptr, APARTMENT), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    EXPECT_TRUE(FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) << "model changed";
    std::thread([] {
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK) << "not per thread";
        CoUninitialize();
    }).join();

    // Two successes owe two CoUninitialize calls; the failed one owes none.
    CoUninitialize();
    ASSERT_EQ(create(AESM_SERVICE_CLSID, CLSCTX_ALL, AESM_SERVICE_IID, &object), S_OK)
        << "uninitialised by the first of two";
    static_cast<IUnknown *>(object)->Release();
    CoUninitialize();
    EXPECT_TRUE(FAILED(create(AESM_SERVICE_CLSID, CLSCTX_ALL, AESM_SERVICE_IID, &object)))
        << "still initialised after the last";
    EXPECT_EQ(accept_queued(listener), 1) << "connections made";
    close(listener);

    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK) << "model outlived its end";
    CoUninitialize();
}

// What a test leaves at the service's socket path.
enum socket_place {
    PLACE_NOTHING,
    PLACE_LISTENER,
    PLACE_STALE_SOCKET, // a socket file nobody listens on
    PLACE_FILE,
    PLACE_DIRECTORY,
};

// Puts it at aesm.socket; gives the listener, or -1.
int occupy_socket_path(socket_place place)
{
    switch (place) {
    case PLACE_NOTHING:
        break;
    case PLACE_LISTENER:
        return listen_unix("aesm.socket");
    case PLACE_STALE_SOCKET:
        close(listen_unix("aesm.socket"));
        break;
    case PLACE_FILE:
        close(open("aesm.socket", O_CREAT | O_WRONLY | O_CLOEXEC, 0600));
        break;
    case PLACE_DIRECTORY:
        EXPECT_EQ(mkdir("aesm.socket", 0700), 0);
        break;
    }
    return -1;
}

struct create_case {
    const char *name;
    socket_place place;
    const GUID *clsid;
    DWORD context;
    const GUID *iid;
    bool succeeds;
};

const create_case CREATE_CASES[] = {
    {"service listening", PLACE_LISTENER, &AESM_SERVICE_CLSID, CLSCTX_ALL, &AESM_SERVICE_IID, true},
    {"IUnknown asked for", PLACE_LISTENER, &AESM_SERVICE_CLSID, CLSCTX_ALL, &IID_IUnknown, true},
    {"local server only", PLACE_LISTENER, &AESM_SERVICE_CLSID, CLSCTX_LOCAL_SERVER,
     &AESM_SERVICE_IID, true},
    {"other class", PLACE_LISTENER, &OTHER_GUID, CLSCTX_ALL, &AESM_SERVICE_IID, false},
    {"in-process only", PLACE_LISTENER, &AESM_SERVICE_CLSID, CLSCTX_INPROC_SERVER,
     &AESM_SERVICE_IID, false},
    {"other interface", PLACE_LISTENER, &AESM_SERVICE_CLSID, CLSCTX_ALL, &OTHER_GUID, false},
    {"nothing at the path", PLACE_NOTHING, &AESM_SERVICE_CLSID, CLSCTX_ALL, &AESM_SERVICE_IID,
     false},
    {"a socket nobody listens on", PLACE_STALE_SOCKET, &AESM_SERVICE_CLSID, CLSCTX_ALL,
     &AESM_SERVICE_IID, false},
    {"a regular file", PLACE_FILE, &AESM_SERVICE_CLSID, CLSCTX_ALL, &AESM_SERVICE_IID, false},
    {"a directory", PLACE_DIRECTORY, &AESM_SERVICE_CLSID, CLSCTX_ALL, &AESM_SERVICE_IID, false},
};

TEST_F(com_posix, create_answers_as_com_does)
{
    ASSERT_EQ(CoInitializeEx(nullptr, APARTMENT), S_OK);
    for (const create_case &c : CREATE_CASES) {
        SCOPED_TRACE(c.name);
        int listener = occupy_socket_path(c.place);
        void *object;
        HRESULT hr = create(*c.clsid, c.context, *c.iid, &object);
        EXPECT_EQ(SUCCEEDED(hr), c.succeeds) << std::hex << "got 0x" << static_cast<uint32_t>(hr);
        if (SUCCEEDED(hr)) {
            ASSERT_NE(object, nullptr);
            EXPECT_EQ(static_cast<IUnknown *>(object)->Release(), 0u);
        } else {
            EXPECT_EQ(object, nullptr);
        }
        if (listener >= 0) {
            EXPECT_EQ(accept_queued(listener), c.succeeds ? 1 : 0) << "connections made";
            close(listener);
        }
        if (unlink("aesm.socket") != 0)
            rmdir("aesm.socket");
    }
    CoUninitialize();
}

// Arguments COM refuses; the runtime's lookup likewise.
TEST_F(com_posix, refuses_what_com_refuses)
{
    int listener = listen_unix("aesm.socket");
    ASSERT_EQ(CoInitializeEx(nullptr, APARTMENT), S_OK);
    void *object = JUNK;
    int reserved = 0;
    char *value = nullptr;
    const struct {
        const char *name;
        bool refused;
    } cases[] = {
        {"CoInitializeEx with its reserved pointer set",
         FAILED(CoInitializeEx(&reserved, APARTMENT))},
        {"CoCreateInstance without an out-pointer",
         FAILED(
             CoCreateInstance(AESM_SERVICE_CLSID, nullptr, CLSCTX_ALL, AESM_SERVICE_IID, nullptr))},
        {"CoCreateInstance with an outer object",
         FAILED(CoCreateInstance(AESM_SERVICE_CLSID, static_cast<IUnknown *>(JUNK), CLSCTX_ALL,
                                 AESM_SERVICE_IID, &object))},
        {"_dupenv_s without a buffer", _dupenv_s(nullptr, nullptr, "PATH") != 0},
        {"_dupenv_s without a name", _dupenv_s(&value, nullptr, nullptr) != 0},
    };
    for (const auto &c : cases)
        EXPECT_TRUE(c.refused) << c.name;
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(accept_queued(listener), 0) << "connected although the call was refused";
    CoUninitialize();
    close(listener);
}

TEST_F(com_posix, object_holds_its_connection_until_the_last_release)
{
    int listener = listen_unix("aesm.socket");
    ASSERT_GE(listener, 0);
    ASSERT_EQ(CoInitializeEx(nullptr, APARTMENT), S_OK);
    // The connection takes the lowest free descriptor.
    int next_fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    close(next_fd);

    void *object;
    ASSERT_EQ(create(AESM_SERVICE_CLSID, CLSCTX_ALL, AESM_SERVICE_IID, &object), S_OK);
    auto *service = static_cast<IUnknown *>(object);
    int flags = fcntl(next_fd, F_GETFD);
    EXPECT_TRUE(flags >= 0 && (flags & FD_CLOEXEC) != 0) << "connection inherited by children";
    int peer = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    ASSERT_GE(peer, 0);

    void *other = JUNK;
    EXPECT_TRUE(FAILED(service->QueryInterface(OTHER_GUID, &other)));
    EXPECT_EQ(other, nullptr);
    EXPECT_TRUE(FAILED(service->QueryInterface(IID_IUnknown, nullptr)));
    void *unknown = nullptr;
    EXPECT_EQ(service->QueryInterface(IID_IUnknown, &unknown), S_OK);
    EXPECT_EQ(unknown, object);

    char byte;
    EXPECT_EQ(service->Release(), 1u);
    EXPECT_EQ(read(peer, &byte, 1), -1) << "closed while a reference remained";
    EXPECT_EQ(errno, EAGAIN);
    EXPECT_EQ(service->Release(), 0u);
    EXPECT_EQ(read(peer, &byte, 1), 0) << "the last Release left the connection open";

    CoUninitialize();
    close(peer);
    close(listener);
}

// A service that stopped accepting: connect waits on its full backlog, but only for a bounded time.
TEST_F(com_posix, create_gives_up_on_a_service_that_never_accepts)
{
    int listener = listen_unix("aesm.socket");
    ASSERT_GE(listener, 0);
    ASSERT_EQ(listen(listener, 0), 0);
    ASSERT_EQ(CoInitializeEx(nullptr, APARTMENT), S_OK);
    // With a backlog of 0 the first connection fills the queue.
    void *first;
    ASSERT_EQ(create(AESM_SERVICE_CLSID, CLSCTX_ALL, AESM_SERVICE_IID, &first), S_OK);
    void *second;
    EXPECT_TRUE(FAILED(create(AESM_SERVICE_CLSID, CLSCTX_ALL, AESM_SERVICE_IID, &second)));
    EXPECT_EQ(second, nullptr);
    static_cast<IUnknown *>(first)->Release();
    CoUninitialize();
    close(listener);
}

} // namespace
