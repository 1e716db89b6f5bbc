// Helpers for the tests that need a real socket or the program as a real process.
#pragma once

#include <string>
#include <vector>

// A private folder under $TMPDIR (or /tmp); remove_temp_folder deletes it and what it holds.
std::string make_temp_folder();
void remove_temp_folder(const std::string &path);

// A non-blocking listening Unix stream socket at path, or -1 (the test is failed).
int listen_unix(const std::string &path);

// What a test puts at the service's socket path.
enum socket_place {
    PLACE_NOTHING,
    PLACE_LISTENER,  // a listening socket
    PLACE_FILE,      // a regular file
    PLACE_BOUND,     // a socket bound but not listening
    PLACE_DIRECTORY, // a directory
};
// Puts it there; gives the descriptor to close (the listener's, for PLACE_LISTENER), or -1.
int occupy_socket_path(const std::string &path, socket_place place);

struct accepted_connections {
    int count;
    int closed_by_peer; // of those, how many the peer had already closed
};
// Accepts whatever is queued on the listener, closes it, and says what was seen.
accepted_connections accept_queued(int listener);

// What the program's standard output or error is made of for a run.
enum stream_setup {
    STREAM_CAPTURED,    // a pipe read by the test
    STREAM_CLOSED,      // no descriptor at all
    STREAM_FULL,        // /dev/full: every write fails with ENOSPC
    STREAM_BROKEN_PIPE, // a pipe whose reader is gone: EPIPE (and SIGPIPE)
};

struct run_result {
    std::string out;
    std::string err;
    int status; // exit status, or 128 + signal number, or -1 if it had to be killed
};

// Runs program with args in folder cwd, with "VELM_SIMULATION" removed from the environment, or
// set to *simulation. AESM_TEST_WRAPPER, when set, is a command line run in front of it.
run_result run_program(const std::string &program, const std::vector<std::string> &args,
                       const std::string *simulation, const std::string &cwd,
                       stream_setup out = STREAM_CAPTURED, stream_setup err = STREAM_CAPTURED);

// A byte string shown with its escapes, for failure messages.
std::string quoted(const std::string &bytes);
