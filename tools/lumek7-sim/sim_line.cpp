#include "sim_line.h"

#include <fcntl.h>
#include <sys/time.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <ctime>

int OpenLine(const std::string& path, std::string* error) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = "cannot open " + path + ": " + std::strerror(errno);
        return -1;
    }
    termios tio;
    if (tcgetattr(fd, &tio) != 0) {
        *error = path + " is not a terminal: " + std::strerror(errno);
        close(fd);
        return -1;
    }
    cfmakeraw(&tio);
    tio.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS | CSIZE);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, B115200);
    cfsetospeed(&tio, B115200);
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        *error = "cannot set 115200 8N1 raw on " + path + ": " + std::strerror(errno);
        close(fd);
        return -1;
    }
    tcflush(fd, TCIOFLUSH);
    return fd;
}

bool WriteAll(int fd, const std::uint8_t* bytes, std::size_t n) {
    while (n > 0) {
        const ssize_t put = write(fd, bytes, n);
        if (put < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                usleep(1000);
                continue;
            }
            return false;
        }
        bytes += put;
        n -= static_cast<std::size_t>(put);
    }
    tcdrain(fd);
    return true;
}

void LogLine(std::FILE* log, const char* format, ...) {
    timeval now;
    gettimeofday(&now, nullptr);
    tm local;
    localtime_r(&now.tv_sec, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%H:%M:%S", &local);
    std::fprintf(log, "%s.%03ld ", stamp, static_cast<long>(now.tv_usec / 1000));
    va_list ap;
    va_start(ap, format);
    std::vfprintf(log, format, ap);
    va_end(ap);
    std::fputc('\n', log);
    std::fflush(log);
}
