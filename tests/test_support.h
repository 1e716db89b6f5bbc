// Helpers for the tests that need a real socket: a private folder and a listener in it.
#pragma once

#include <string>

// A new empty folder under GoogleTest's temporary directory; remove it with remove_test_folder.
std::string make_test_folder();
void remove_test_folder(const std::string &path);

// A non-blocking listening Unix stream socket at path, or -1 (the test is failed).
int listen_unix(const std::string &path);

// Accepts and closes whatever connections are queued on a non-blocking listener; gives how many.
int accept_queued(int listener);
