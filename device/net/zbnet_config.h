#ifndef ZB_DEVICE_NET_ZBNET_CONFIG_H
#define ZB_DEVICE_NET_ZBNET_CONFIG_H
// The device network's rules, free of the C library's socket calls so that
// they can be tested on their own: the update server's host name, its fixed
// loopback address on the device, and the device file's "HOST:PORT" / "off".
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ZBNET_HOST "update.morvane.example"
#define ZBNET_ADDRESS_TEXT "127.0.80.80"
#define ZBNET_ADDRESS 0x7F005050u /* 127.0.80.80, host byte order */
#define ZBNET_PORT 80

struct ZbNetTarget {
    char host[256];
    uint16_t port;
};

/* 1 when name is the update server's host name (letter case and one trailing
   dot do not matter). */
int zbnet_is_update_host(const char* name);

/* Parses the device file's text (length bytes, need not end in NUL): 1 and the
   target for "HOST:PORT" (surrounding white space and line ends ignored, port
   1 to 65535); 0 for "off", an empty text or anything malformed. */
int zbnet_parse(const char* text, size_t length, struct ZbNetTarget* target);

#ifdef __cplusplus
}
#endif
#endif
