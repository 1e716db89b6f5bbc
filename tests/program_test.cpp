// The program as a process: exact bytes on each stream and the exit status, with the service's
// socket served, or not, in a temporary folder, and with streams that cannot be written.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

const char SKIP_LINE[] = "=== Skipped unsupported test in simulation mode (aesm)\n";
const char PASS_LINE[] = "=== passed all tests (aesm)\n";
const char FAIL_LINE[] = "aesm: failed to connect\n";

enum { PASSED = 0, FAILED = 1, SKIPPED = 2 };

// The program run and the socket served: this build's, which finds it in its working directory,
// unless AESM_TEST_PROGRAM and AESM_TEST_SOCKET name a packaged program and the socket it was built
// for (the release check serves that in a mount namespace of its own).
std::string from_environment(const char *name, const std::string &otherwise)
{
    const char *value = getenv(name);
    return value != nullptr ? value : otherwise;
}

// What the program's standard output or error is made of for a run.
enum stream_setup {
    STREAM_CAPTURED,    // a pipe read by the test
    STREAM_CLOSED,      // no descriptor at all
    STREAM_FULL,        // /dev/full: every write fails with ENOSPC
    STREAM_BROKEN_PIPE, // a pipe whose reader is gone: EPIPE, and SIGPIPE unless ignored
};

struct run_result {
    std::string out;
    std::string err;
    int status; // exit status, or 128 + signal number
};

// A stream as the child gets it: the test reads `read` (or -1) and closes `write` once spawned.
struct stream_ends {
    int read;
    int write;
};

stream_ends place_stream(posix_spawn_file_actions_t *actions, stream_setup setup, int target)
{
    int ends[2] = {-1, -1};
    switch (setup) {
    case STREAM_CLOSED:
        posix_spawn_file_actions_addclose(actions, target);
        break;
    case STREAM_FULL:
        posix_spawn_file_actions_addopen(actions, target, "/dev/full", O_WRONLY, 0);
        break;
    case STREAM_CAPTURED:
    case STREAM_BROKEN_PIPE:
        EXPECT_EQ(pipe2(ends, O_CLOEXEC), 0);
        posix_spawn_file_actions_adddup2(actions, ends[1], target);
        if (setup == STREAM_BROKEN_PIPE) {
            close(ends[0]);
            ends[0] = -1;
        }
        break;
    }
    return {ends[0], ends[1]};
}

std::string read_all(int fd)
{
    std::string text;
    char buffer[4096];
    for (ssize_t n; fd >= 0 && (n = read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<size_t>(n));
    if (fd >= 0)
        close(fd);
    return text;
}

// Runs the program in folder with args, stdin from /dev/null, and "VELM_SIMULATION" unset or set
// to simulation. CTest's timeout bounds a run that hangs.
run_result run_program(std::vector<std::string> args, const char *simulation,
                       const std::string &folder, stream_setup out, stream_setup err)
{
    args.insert(args.begin(), from_environment("AESM_TEST_PROGRAM", AESM_TEST_PROGRAM));
    std::vector<char *> argv;
    argv.reserve(args.size() + 1);
    // cppcheck-suppress constVariableReference ; a const string's data() is no char *
    for (std::string &arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (simulation == nullptr)
        unsetenv("VELM_SIMULATION");
    else
        setenv("VELM_SIMULATION", simulation, 1);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    stream_ends out_ends = place_stream(&actions, out, 1);
    stream_ends err_ends = place_stream(&actions, err, 2);
    // SIGPIPE as a fresh process has it, whatever the test runner ignores.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    int spawned = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    EXPECT_EQ(spawned, 0) << strerror(spawned);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    for (int fd : {out_ends.write, err_ends.write})
        if (fd >= 0)
            close(fd);

    // The program writes one short line: reading one stream to its end cannot block the other.
    run_result result = {read_all(out_ends.read), read_all(err_ends.read), -1};
    int status = 0;
    if (spawned == 0 && waitpid(pid, &status, 0) == pid)
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

struct program_case {
    const char *name;
    const char *simulation; // null: unset
    bool listening;         // the service's socket is served
    stream_setup out;
    stream_setup err;
    const char *out_text; // expected where captured
    const char *err_text;
    int status;
};

const program_case PROGRAM_CASES[] = {
    {"skipped", "1", true, STREAM_CAPTURED, STREAM_CAPTURED, SKIP_LINE, "", SKIPPED},
    {"passed", nullptr, true, STREAM_CAPTURED, STREAM_CAPTURED, PASS_LINE, "", PASSED},
    {"failed", nullptr, false, STREAM_CAPTURED, STREAM_CAPTURED, "", FAIL_LINE, FAILED},
    // A write that fails changes nothing: the status stays the outcome's.
    {"skipped, stdout closed", "1", true, STREAM_CLOSED, STREAM_CAPTURED, "", "", SKIPPED},
    {"passed, stdout full", nullptr, true, STREAM_FULL, STREAM_CAPTURED, "", "", PASSED},
    {"failed, stderr without reader", nullptr, false, STREAM_CAPTURED, STREAM_BROKEN_PIPE, "", "",
     FAILED},
};

TEST(program, one_line_and_the_status_per_outcome)
{
    const std::vector<std::string> no_args, some_args = {"--help", "-v", "", "VELM_SIMULATION=1"};
    for (const program_case &c : PROGRAM_CASES) {
        for (const auto *args : {&no_args, &some_args}) {
            SCOPED_TRACE(std::string(c.name) + (args->empty() ? "" : ", with arguments"));
            std::string folder = make_test_folder();
            std::string socket = from_environment("AESM_TEST_SOCKET", folder + "/aesm.socket");
            int listener = c.listening ? listen_unix(socket) : -1;
            run_result got = run_program(*args, c.simulation, folder, c.out, c.err);
            EXPECT_EQ(got.status, c.status);
            if (c.out == STREAM_CAPTURED) {
                EXPECT_EQ(got.out, c.out_text);
            }
            if (c.err == STREAM_CAPTURED) {
                EXPECT_EQ(got.err, c.err_text);
            }
            if (listener >= 0) {
                // Skipped means the service is not contacted at all.
                EXPECT_EQ(accept_queued(listener), c.status == SKIPPED ? 0 : 1) << "connections";
                close(listener);
                unlink(socket.c_str());
            }
            remove_test_folder(folder);
        }
    }
}

} // namespace
