// The program as a process: exact bytes on each stream and the exit status, with the service's
// socket served (or occupied, or absent) in a temporary folder.
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

const std::string SKIP_LINE = "=== Skipped unsupported test in simulation mode (aesm)\n";
const std::string PASS_LINE = "=== passed all tests (aesm)\n";
const std::string FAIL_LINE = "aesm: failed to connect\n";

enum { PASSED = 0, FAILED = 1, SKIPPED = 2 };

struct program_case {
    std::string name;
    const char *simulation; // null: unset
    socket_place place;
    std::vector<std::string> args;
    stream_setup out_setup;
    stream_setup err_setup;
    std::string out; // expected, when captured
    std::string err;
    int status;
};

// One run in a fresh folder: the streams, the status and what the service's socket saw.
void check_run(const program_case &c, const std::string &simulation)
{
    SCOPED_TRACE(c.name);
    std::string folder = make_temp_folder();
    int fd = occupy_socket_path(folder + "/aesm.socket", c.place);
    run_result got =
        run_program(AESM_TEST_PROGRAM, c.args, c.simulation == nullptr ? nullptr : &simulation,
                    folder, c.out_setup, c.err_setup);
    EXPECT_EQ(got.status, c.status);
    if (c.out_setup == STREAM_CAPTURED) {
        EXPECT_EQ(got.out, c.out) << "stdout " << quoted(got.out);
    }
    if (c.err_setup == STREAM_CAPTURED) {
        EXPECT_EQ(got.err, c.err) << "stderr " << quoted(got.err);
    }
    if (c.place == PLACE_LISTENER) {
        // The probe connects once when it runs, and leaves nothing open.
        accepted_connections seen = accept_queued(fd);
        EXPECT_EQ(seen.count, c.status == SKIPPED ? 0 : 1) << "connections to the service";
        EXPECT_EQ(seen.closed_by_peer, seen.count) << "connection left open";
    }
    if (fd >= 0)
        close(fd);
    remove_temp_folder(folder);
}

void check_runs(const std::vector<program_case> &cases)
{
    for (const program_case &c : cases)
        check_run(c, c.simulation == nullptr ? "" : c.simulation);
}

const std::vector<std::string> NO_ARGS;
const std::vector<std::string> SOME_ARGS = {"--help", "-v", "", "VELM_SIMULATION=1"};

TEST(program, outcome_per_environment_and_service)
{
    const auto cap = STREAM_CAPTURED;
    check_runs({
        {"skipped", "1", PLACE_NOTHING, NO_ARGS, cap, cap, SKIP_LINE, "", SKIPPED},
        {"skipped while the service listens", "1", PLACE_LISTENER, NO_ARGS, cap, cap, SKIP_LINE, "",
         SKIPPED},
        {"passed", nullptr, PLACE_LISTENER, NO_ARGS, cap, cap, PASS_LINE, "", PASSED},
        {"failed, nothing listening", nullptr, PLACE_NOTHING, NO_ARGS, cap, cap, "", FAIL_LINE,
         FAILED},
        {"variable empty", "", PLACE_LISTENER, NO_ARGS, cap, cap, PASS_LINE, "", PASSED},
        {"variable 0", "0", PLACE_LISTENER, NO_ARGS, cap, cap, PASS_LINE, "", PASSED},
        {"variable 11", "11", PLACE_NOTHING, NO_ARGS, cap, cap, "", FAIL_LINE, FAILED},
        {"variable true", "true", PLACE_LISTENER, NO_ARGS, cap, cap, PASS_LINE, "", PASSED},
        {"arguments, skipped", "1", PLACE_LISTENER, SOME_ARGS, cap, cap, SKIP_LINE, "", SKIPPED},
        {"arguments, passed", nullptr, PLACE_LISTENER, SOME_ARGS, cap, cap, PASS_LINE, "", PASSED},
        {"arguments, failed", nullptr, PLACE_NOTHING, SOME_ARGS, cap, cap, "", FAIL_LINE, FAILED},
    });
}

TEST(program, outcome_with_hostile_variable_values)
{
    const std::string huge(100000, '1');
    const std::string not_utf8 = "1\xff\xfe\xc3";
    const std::string newline = "1\n";
    for (const std::string *value : {&huge, &not_utf8, &newline}) {
        for (bool listening : {true, false}) {
            program_case c = {"value " + quoted(value->substr(0, 8)) + " of " +
                                  std::to_string(value->size()) + " bytes",
                              "",
                              listening ? PLACE_LISTENER : PLACE_NOTHING,
                              NO_ARGS,
                              STREAM_CAPTURED,
                              STREAM_CAPTURED,
                              listening ? PASS_LINE : "",
                              listening ? "" : FAIL_LINE,
                              listening ? PASSED : FAILED};
            check_run(c, *value);
        }
    }
}

TEST(program, outcome_when_the_socket_path_is_not_a_listener)
{
    const auto cap = STREAM_CAPTURED;
    check_runs({
        {"a regular file", nullptr, PLACE_FILE, NO_ARGS, cap, cap, "", FAIL_LINE, FAILED},
        {"a socket not listening", nullptr, PLACE_BOUND, NO_ARGS, cap, cap, "", FAIL_LINE, FAILED},
        {"a directory", nullptr, PLACE_DIRECTORY, NO_ARGS, cap, cap, "", FAIL_LINE, FAILED},
    });
}

// A write that fails changes nothing: the status stays the outcome's and nothing else is written.
TEST(program, outcome_when_the_line_cannot_be_written)
{
    const auto cap = STREAM_CAPTURED;
    std::vector<program_case> cases;
    for (stream_setup broken : {STREAM_CLOSED, STREAM_FULL, STREAM_BROKEN_PIPE}) {
        const std::string how = broken == STREAM_CLOSED ? "closed"
                                : broken == STREAM_FULL ? "full"
                                                        : "without reader";
        cases.push_back(
            {"skipped, stdout " + how, "1", PLACE_LISTENER, NO_ARGS, broken, cap, "", "", SKIPPED});
        cases.push_back({"passed, stdout " + how, nullptr, PLACE_LISTENER, NO_ARGS, broken, cap, "",
                         "", PASSED});
        cases.push_back({"failed, stderr " + how, nullptr, PLACE_NOTHING, NO_ARGS, cap, broken, "",
                         "", FAILED});
    }
    check_runs(cases);
}

} // namespace
