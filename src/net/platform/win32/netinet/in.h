#pragma once

// IPv4 addresses and byte order come with the socket header on Winsock.
#include <sys/socket.h>
