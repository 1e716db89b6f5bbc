// A scripted COM linked in place of platform/, for the client's error paths: every call is logged
// and its result comes from the script. The heap calls the client makes are wrapped at link time.
#pragma once

#include <string>

#include "com.h"

enum fake_object {
    FAKE_OBJECT_NONE,    // the out-pointer is left null
    FAKE_OBJECT_SERVICE, // the service's object, with one reference
    FAKE_OBJECT_JUNK,    // an object the runtime does not hand over (a failed call's leftover)
};

struct fake_com_script {
    HRESULT init_result;
    HRESULT create_result;
    fake_object create_gives;
    bool calloc_fails;
};

// Starts logging with a new script; fake_com_stop ends it and gives the calls made, "; "-joined.
void fake_com_start(const fake_com_script &script);
std::string fake_com_stop();

// References the service object still holds, and initialisations not yet balanced.
int fake_service_references();
int fake_com_init_depth();
