/* The floor of an HTTP answer on this machine: one thread, epoll, keep-alive, and the same
 * answer (a file's bytes as image/png) to every request, with one read and one write each.
 * It parses nothing but the blank line that ends a head, so no server that reads its
 * requests can spend less. For bench/http_load.sh, on loopback only.
 *
 *   http_floor PORT FILE     (prints "listening" once it does) */
#define _GNU_SOURCE /* accept4 */
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

int main(int argc, char** argv) {
    static char answer[1 << 20], body[1 << 19], input[1 << 16];
    FILE* file = argc == 3 ? fopen(argv[2], "rb") : NULL;
    if (file == NULL) return fprintf(stderr, "usage: http_floor PORT FILE\n"), 2;
    const size_t size = fread(body, 1, sizeof body, file);
    fclose(file);
    int length = snprintf(answer, sizeof answer,
                          "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nContent-Length: %zu\r\n"
                          "Connection: keep-alive\r\n\r\n",
                          size);
    memcpy(answer + length, body, size);
    length += (int)size;

    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0), on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    struct sockaddr_in address = {.sin_family = AF_INET,
                                  .sin_port = htons((unsigned short)atoi(argv[1])),
                                  .sin_addr.s_addr = htonl(INADDR_LOOPBACK)};
    if (bind(listener, (struct sockaddr*)&address, sizeof address) != 0 ||
        listen(listener, 1024) != 0) {
        return perror("http_floor"), 1;
    }
    const int poll = epoll_create1(0);
    struct epoll_event event = {.events = EPOLLIN, .data.fd = listener}, ready[256];
    epoll_ctl(poll, EPOLL_CTL_ADD, listener, &event);
    printf("listening\n");
    fflush(stdout);
    for (;;) {
        const int count = epoll_wait(poll, ready, 256, -1);
        for (int i = 0; i < count; ++i) {
            const int fd = ready[i].data.fd;
            if (fd == listener) {
                int client;
                while ((client = accept4(listener, NULL, NULL, SOCK_NONBLOCK)) >= 0) {
                    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                    event.data.fd = client;
                    epoll_ctl(poll, EPOLL_CTL_ADD, client, &event);
                }
                continue;
            }
            /* A whole head a read, as wrk sends them: each blank line is answered. */
            const ssize_t got = read(fd, input, sizeof input);
            if (got <= 0) {
                close(fd);
                continue;
            }
            for (ssize_t at = 0; at + 3 < got; ++at) {
                if (memcmp(input + at, "\r\n\r\n", 4) == 0 && write(fd, answer, length) < 0) break;
            }
        }
    }
}
