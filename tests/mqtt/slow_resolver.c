// Preloaded by the MQTT fault tests: getaddrinfo() for the one name in $ORVIK_SLOW_NAME takes ten seconds and then
// fails, as with a DNS server that never answers; every other name goes to the real resolver. The machine's resolver
// configuration is never touched.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <netdb.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

int getaddrinfo(const char* node, const char* service, const struct addrinfo* hints, struct addrinfo** result)
{
    const char* slow = getenv("ORVIK_SLOW_NAME");
    if (node && slow && strcmp(node, slow) == 0) {
        sleep(10);
        return EAI_AGAIN;
    }
    typedef int (*Real)(const char*, const char*, const struct addrinfo*, struct addrinfo**);
    Real real = (Real)dlsym(RTLD_NEXT, "getaddrinfo");
    return real(node, service, hints, result);
}
