#pragma once

// inet_pton and friends come with the socket header on Winsock.
#include <sys/socket.h>
