// aesm_test: tells whether the AESM service can be instantiated from this process.
// Exit status 0 passed, 1 failed to connect, 2 skipped in simulation mode.
#include <stdio.h>
#include <stdlib.h>

#include "aesm_client.h"
#include "runmode.h"

int main()
{
    if ((get_mode_flags() & MODE_FLAG_SIMULATION) != 0) {
        printf("=== Skipped unsupported test in simulation mode (aesm)\n");
        return 2;
    }

    aesm_connection *connection = aesm_connection_open();
    if (connection == nullptr) {
        fprintf(stderr, "aesm: failed to connect\n");
        exit(1);
    }
    aesm_connection_close(connection);
    printf("=== passed all tests (aesm)\n");
    return 0;
}
