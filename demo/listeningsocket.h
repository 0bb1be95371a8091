#pragma once

#include <httplib.h>

// How the platform server's listening socket is set up; the HTTP library
// calls this before it binds.
namespace listeningsocket {

// A server started again may bind at once, while its old connections wait
// out TIME_WAIT, but never shares the port with another listener (the
// library's default would let two servers split one port). The socket is not
// inherited by programs that this process starts.
void prepare(socket_t socket);

} // namespace listeningsocket
