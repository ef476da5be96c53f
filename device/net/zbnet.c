// libzbnet.so: the network of one emulated device. The device's Wine processes
// (and its wineserver, which makes the sockets' connections) run with this
// library preloaded. It gives the update server's host name a fixed loopback
// address of its own and sends a connection to that address, port 80, to the
// server that the device file C:\windows\zbnet.txt names ("HOST:PORT" on one
// line, or "off"; no file is "off"). The file is read at every lookup and
// connection, so a change applies to the next request. Every other name and
// address goes to the C library unchanged; nothing on the host changes.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <netdb.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/socket.h>

#include "device/net/zbnet_config.h"

typedef int (*getaddrinfo_fn)(const char*, const char*, const struct addrinfo*, struct addrinfo**);
typedef int (*connect_fn)(int, const struct sockaddr*, socklen_t);
typedef struct hostent* (*gethostbyname_fn)(const char*);
typedef int (*gethostbyname_r_fn)(const char*, struct hostent*, char*, size_t, struct hostent**, int*);

static void* next_symbol(const char* name) { return dlsym(RTLD_NEXT, name); }

// The device file, read whole (it is one short line).
static int read_setting(struct ZbNetTarget* target) {
    const char* prefix = getenv("WINEPREFIX");
    char path[4096];
    if (prefix && *prefix) {
        snprintf(path, sizeof path, "%s/drive_c/windows/zbnet.txt", prefix);
    } else {
        const char* home = getenv("HOME");
        snprintf(path, sizeof path, "%s/.wine/drive_c/windows/zbnet.txt", home ? home : "");
    }
    char text[512];
    size_t length = 0;
    FILE* f = fopen(path, "rb");
    if (f) {
        length = fread(text, 1, sizeof text - 1, f);
        fclose(f);
    }
    text[length] = 0;
    return zbnet_parse(text, length, target);
}

int getaddrinfo(const char* node, const char* service, const struct addrinfo* hints, struct addrinfo** res) {
    getaddrinfo_fn next = (getaddrinfo_fn)next_symbol("getaddrinfo");
    if (!next) return EAI_SYSTEM;
    if (node && zbnet_is_update_host(node)) return next(ZBNET_ADDRESS_TEXT, service, hints, res);
    return next(node, service, hints, res);
}

struct hostent* gethostbyname(const char* name) {
    gethostbyname_fn next = (gethostbyname_fn)next_symbol("gethostbyname");
    if (!next) return NULL;
    return next(name && zbnet_is_update_host(name) ? ZBNET_ADDRESS_TEXT : name);
}

int gethostbyname_r(const char* name, struct hostent* ret, char* buf, size_t buflen, struct hostent** result,
                    int* h_errnop) {
    gethostbyname_r_fn next = (gethostbyname_r_fn)next_symbol("gethostbyname_r");
    if (!next) return ENOSYS;
    return next(name && zbnet_is_update_host(name) ? ZBNET_ADDRESS_TEXT : name, ret, buf, buflen, result,
                h_errnop);
}

// The server's address for a connection: numeric, or looked up by name (IPv4).
static int target_address(const struct ZbNetTarget* target, struct sockaddr_in* out) {
    getaddrinfo_fn lookup = (getaddrinfo_fn)next_symbol("getaddrinfo");
    if (!lookup) return -1;
    struct addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    struct addrinfo* found = NULL;
    if (lookup(target->host, NULL, &hints, &found) != 0 || !found) return -1;
    memcpy(out, found->ai_addr, sizeof *out);
    freeaddrinfo(found);
    out->sin_port = htons(target->port);
    return 0;
}

int connect(int fd, const struct sockaddr* addr, socklen_t len) {
    connect_fn next = (connect_fn)next_symbol("connect");
    if (!next) {
        errno = ENOSYS;
        return -1;
    }
    if (!addr || len < (socklen_t)sizeof(struct sockaddr_in) || addr->sa_family != AF_INET)
        return next(fd, addr, len);
    const struct sockaddr_in* in = (const struct sockaddr_in*)addr;
    if (in->sin_addr.s_addr != htonl(ZBNET_ADDRESS)) return next(fd, addr, len);

    // The update server's address: only its HTTP port leads anywhere, and only
    // when the device's network is on.
    struct ZbNetTarget target;
    struct sockaddr_in to;
    if (ntohs(in->sin_port) != ZBNET_PORT || !read_setting(&target) || target_address(&target, &to) != 0) {
        errno = ECONNREFUSED;
        return -1;
    }
    return next(fd, (const struct sockaddr*)&to, sizeof to);
}
