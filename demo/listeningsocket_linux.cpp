#include "listeningsocket.h"

#include <fcntl.h>
#include <sys/socket.h>

namespace listeningsocket {

void prepare(socket_t socket)
{
    const int on = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    ::fcntl(socket, F_SETFD, FD_CLOEXEC);
}

} // namespace listeningsocket
