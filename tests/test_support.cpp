// Temporary folders, Unix listeners and a process runner for the native tests.
#include "test_support.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

// Long enough for a run under memcheck; a probe that takes longer is hung.
static constexpr int TEST_RUN_TIMEOUT_MS = 30000;

std::string make_temp_folder()
{
    const char *base = getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/aesm_test.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "mkdtemp " << pattern << ": " << strerror(errno);
        return "/nonexistent";
    }
    return pattern;
}

void remove_temp_folder(const std::string &path)
{
    DIR *dir = opendir(path.c_str());
    if (dir == nullptr)
        return;
    while (dirent *entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        std::string full = path;
        full.append("/").append(name);
        if (unlink(full.c_str()) != 0)
            rmdir(full.c_str());
    }
    closedir(dir);
    rmdir(path.c_str());
}

// A stream socket bound to path, or -1 (the test is failed).
static int bind_unix(const std::string &path, int flags)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        ADD_FAILURE() << "socket path too long: " << path;
        return -1;
    }
    memcpy(address.sun_path, path.c_str(), path.size() + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | flags, 0);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ADD_FAILURE() << "bind " << path << ": " << strerror(errno);
        if (fd >= 0)
            close(fd);
        return -1;
    }
    return fd;
}

int listen_unix(const std::string &path)
{
    int fd = bind_unix(path, SOCK_NONBLOCK);
    if (fd >= 0 && listen(fd, 8) != 0) {
        ADD_FAILURE() << "listen on " << path << ": " << strerror(errno);
        close(fd);
        return -1;
    }
    return fd;
}

int occupy_socket_path(const std::string &path, socket_place place)
{
    switch (place) {
    case PLACE_NOTHING:
        return -1;
    case PLACE_LISTENER:
        return listen_unix(path);
    case PLACE_FILE:
        return open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
    case PLACE_BOUND:
        return bind_unix(path, 0);
    case PLACE_DIRECTORY:
        EXPECT_EQ(mkdir(path.c_str(), 0700), 0);
        return -1;
    }
    return -1;
}

accepted_connections accept_queued(int listener)
{
    accepted_connections seen = {0, 0};
    for (;;) {
        int fd = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            break;
        seen.count++;
        char byte;
        if (read(fd, &byte, 1) == 0)
            seen.closed_by_peer++;
        close(fd);
    }
    return seen;
}

static std::vector<std::string> split_words(const char *line)
{
    std::vector<std::string> words;
    std::string word;
    for (const char *p = line; p != nullptr && *p != '\0'; p++) {
        if (*p == ' ') {
            if (!word.empty())
                words.push_back(word);
            word.clear();
        } else {
            word += *p;
        }
    }
    if (!word.empty())
        words.push_back(word);
    return words;
}

// The parent's end of a stream set up for the child, and the child's descriptor.
struct stream_ends {
    int parent; // read end of a captured stream, or -1
    int child;  // what the child gets, or -1 for a closed stream
};

static stream_ends open_stream(stream_setup setup)
{
    int fds[2];
    switch (setup) {
    case STREAM_CAPTURED:
        if (pipe2(fds, O_CLOEXEC) != 0)
            break;
        return {fds[0], fds[1]};
    case STREAM_CLOSED:
        return {-1, -1};
    case STREAM_FULL:
        return {-1, open("/dev/full", O_WRONLY | O_CLOEXEC)};
    case STREAM_BROKEN_PIPE:
        if (pipe2(fds, O_CLOEXEC) != 0)
            break;
        close(fds[0]);
        return {-1, fds[1]};
    }
    ADD_FAILURE() << "stream setup: " << strerror(errno);
    return {-1, -1};
}

// In the child, between fork and exec: only async-signal-safe calls.
static void place_stream(const stream_ends &ends, int target)
{
    if (ends.child < 0)
        close(target);
    else if (dup2(ends.child, target) < 0)
        _exit(125);
}

static long elapsed_ms(const timespec &start)
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
}

run_result run_program(const std::string &program, const std::vector<std::string> &args,
                       const std::string *simulation, const std::string &cwd, stream_setup out,
                       stream_setup err)
{
    std::vector<std::string> argv_strings = split_words(getenv("AESM_TEST_WRAPPER"));
    argv_strings.push_back(program);
    argv_strings.insert(argv_strings.end(), args.begin(), args.end());
    std::vector<std::string> env_strings;
    for (char **e = environ; *e != nullptr; e++)
        if (strncmp(*e, "VELM_SIMULATION=", 16) != 0)
            env_strings.push_back(*e);
    if (simulation != nullptr)
        env_strings.push_back("VELM_SIMULATION=" + *simulation);

    std::vector<char *> argv, envp;
    for (auto &s : argv_strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    for (auto &s : env_strings)
        envp.push_back(s.data());
    envp.push_back(nullptr);

    stream_ends out_ends = open_stream(out);
    stream_ends err_ends = open_stream(err);
    pid_t pid = fork();
    if (pid == 0) {
        int null_in = open("/dev/null", O_RDONLY);
        if (null_in < 0 || dup2(null_in, 0) < 0 || chdir(cwd.c_str()) != 0)
            _exit(125);
        place_stream(out_ends, 1);
        place_stream(err_ends, 2);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    for (int fd : {out_ends.child, err_ends.child})
        if (fd >= 0)
            close(fd);

    run_result result = {"", "", -1};
    pollfd fds[2] = {{out_ends.parent, POLLIN, 0}, {err_ends.parent, POLLIN, 0}};
    std::string *sinks[2] = {&result.out, &result.err};
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    bool killed = false;
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        long left = TEST_RUN_TIMEOUT_MS - elapsed_ms(start);
        if (left <= 0 || poll(fds, 2, static_cast<int>(left)) == 0) {
            kill(pid, SIGKILL);
            killed = true;
            break;
        }
        for (int i = 0; i < 2; i++) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[4096];
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
            }
        }
    }
    for (const pollfd &p : fds)
        if (p.fd >= 0)
            close(p.fd);
    // Streams that are not captured give no end-of-file: wait for the exit itself, bounded.
    int status = 0;
    while (!killed && waitpid(pid, &status, WNOHANG) == 0) {
        if (elapsed_ms(start) >= TEST_RUN_TIMEOUT_MS) {
            kill(pid, SIGKILL);
            killed = true;
            break;
        }
        usleep(1000);
    }
    if (killed) {
        waitpid(pid, &status, 0);
        ADD_FAILURE() << program << " was still running after " << TEST_RUN_TIMEOUT_MS << " ms";
        return result;
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

std::string quoted(const std::string &bytes)
{
    std::string text = "\"";
    for (unsigned char c : bytes) {
        if (c == '\n') {
            text += "\\n";
        } else if (c == '\r') {
            text += "\\r";
        } else if (c == '"' || c == '\\') {
            text += '\\';
            text += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7f) {
            char hex[8];
            (void)snprintf(hex, sizeof hex, "\\x%02x", c);
            text += hex;
        } else {
            text += static_cast<char>(c);
        }
    }
    return text + "\"";
}
