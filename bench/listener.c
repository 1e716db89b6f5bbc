/* Test stand-in for the service's socket: listens on the Unix stream socket at argv[1], says
 * "ready" on stdout once it does (the socket file exists from bind on, before connections are
 * taken), and accepts and closes every connection until killed, so the backlog never fills. */
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    struct sockaddr_un address = {.sun_family = AF_UNIX};
    if (argc != 2 || strlen(argv[1]) >= sizeof address.sun_path) {
        fprintf(stderr, "usage: aesm_listener SOCKET_PATH (shorter than %zu bytes)\n",
                sizeof address.sun_path);
        return 2;
    }
    strcpy(address.sun_path, argv[1]);
    int s = socket(AF_UNIX, SOCK_STREAM, 0);
    unlink(address.sun_path);
    if (s < 0 || bind(s, (struct sockaddr *)&address, sizeof address) != 0 ||
        listen(s, SOMAXCONN) != 0) {
        fprintf(stderr, "aesm_listener: %s: %s\n", argv[1], strerror(errno));
        return 1;
    }
    if (puts("ready") < 0 || fflush(stdout) != 0)
        return 1;
    for (;;) {
        int c = accept(s, NULL, NULL);
        if (c >= 0)
            close(c);
        else if (errno != EINTR && errno != ECONNABORTED)
            return 1;
    }
}
