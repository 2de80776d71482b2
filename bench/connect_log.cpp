// Preloaded (LD_PRELOAD) into a program by bench/first_sound_profile.py:
// appends the CLOCK_MONOTONIC time and the address of each connect() the
// program makes to the file named by VELMORA_CONNECT_LOG, one line each
// ("SECONDS inet PORT" or "SECONDS unix PATH"). A cold start is cut into
// stages by these without a tracer slowing every thread down.
#include <dlfcn.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

extern "C" int connect(int fd, const sockaddr *address, socklen_t length)
{
    using Connect = int (*)(int, const sockaddr *, socklen_t);
    static const auto real = reinterpret_cast<Connect>(dlsym(RTLD_NEXT, "connect"));
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const char *logPath = std::getenv("VELMORA_CONNECT_LOG");
    if (logPath && address) {
        char line[256];
        int size = 0;
        const double seconds = double(now.tv_sec) + double(now.tv_nsec) / 1e9;
        if (address->sa_family == AF_INET || address->sa_family == AF_INET6) {
            // The port sits at the same place in both.
            const auto *inet = reinterpret_cast<const sockaddr_in *>(address);
            size = std::snprintf(line, sizeof line, "%.6f inet %u\n", seconds,
                                 unsigned(ntohs(inet->sin_port)));
        } else if (address->sa_family == AF_UNIX) {
            const auto *local = reinterpret_cast<const sockaddr_un *>(address);
            size = std::snprintf(line, sizeof line, "%.6f unix %.*s\n", seconds,
                                 int(sizeof local->sun_path), local->sun_path);
        }
        const int out = open(logPath, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        if (out >= 0 && size > 0) {
            // One write per line: threads connecting at once do not mix.
            [[maybe_unused]] const ssize_t written = write(out, line, size_t(size));
        }
        if (out >= 0)
            close(out);
    }
    return real(fd, address, length);
}
