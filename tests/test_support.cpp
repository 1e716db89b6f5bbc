// Temporary folders and Unix listeners for the native tests.
#include "test_support.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

std::string make_test_folder()
{
    std::string pattern = testing::TempDir() + "aesm_test.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        ADD_FAILURE() << "mkdtemp " << pattern << ": " << strerror(errno);
    return pattern;
}

void remove_test_folder(const std::string &path)
{
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

int listen_unix(const std::string &path)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        ADD_FAILURE() << "socket path too long: " << path;
        return -1;
    }
    memcpy(address.sun_path, path.c_str(), path.size() + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        listen(fd, 8) != 0) {
        ADD_FAILURE() << "listen on " << path << ": " << strerror(errno);
        if (fd >= 0)
            close(fd);
        return -1;
    }
    return fd;
}

int accept_queued(int listener)
{
    int count = 0;
    for (int fd; (fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC)) >= 0; count++)
        close(fd);
    return count;
}
