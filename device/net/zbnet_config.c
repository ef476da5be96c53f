#include "device/net/zbnet_config.h"

#include <string.h>
#include <strings.h>

int zbnet_is_update_host(const char* name) {
    size_t n = strlen(name);
    size_t want = sizeof ZBNET_HOST - 1;
    if (n == want + 1 && name[want] == '.') n = want;
    return n == want && strncasecmp(name, ZBNET_HOST, want) == 0;
}

static int is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

int zbnet_parse(const char* text, size_t length, struct ZbNetTarget* target) {
    size_t begin = 0, end = length;
    while (begin < end && is_space(text[begin])) ++begin;
    /* Only the first line counts. */
    for (size_t i = begin; i < end; ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            end = i;
            break;
        }
    }
    while (end > begin && is_space(text[end - 1])) --end;
    size_t colon = end;
    while (colon > begin && text[colon - 1] != ':') --colon;
    if (colon == begin) return 0; /* no colon: "off", empty or malformed */
    size_t hostLength = colon - 1 - begin;
    if (hostLength == 0 || hostLength >= sizeof target->host) return 0;
    unsigned long port = 0;
    size_t digits = end - colon;
    if (digits == 0 || digits > 5) return 0;
    for (size_t i = colon; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9') return 0;
        port = port * 10 + (unsigned long)(text[i] - '0');
    }
    if (port == 0 || port > 65535) return 0;
    for (size_t i = begin; i < begin + hostLength; ++i) {
        if (is_space(text[i]) || text[i] == 0) return 0;
    }
    memcpy(target->host, text + begin, hostLength);
    target->host[hostLength] = 0;
    target->port = (uint16_t)port;
    return 1;
}
