// lumek7-sim: a LUMEK-7 device on a serial line, for testing and
// demonstrating the setup utility without the hardware.
#include <getopt.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "sim_device.h"
#include "sim_line.h"

namespace {

const char USAGE[] = R"(Usage: lumek7-sim [options] LINE

Plays a LUMEK-7 device on the tty LINE (a pty end, or a real serial adapter
such as /dev/ttyUSB0), raw at 115200 baud, 8 data bits, no parity, 1 stop bit.
It answers every query with its current settings and every set request whose
checksum holds by storing the new settings and acknowledging, so a query after
a set shows the new values. Every frame received and sent is logged in hex.

Settings (the device's state at start):
  --ip A.B.C.D         IPv4 address            (default 192.168.1.195)
  --mask A.B.C.D       subnet mask             (default 255.255.255.0)
  --gateway A.B.C.D    default gateway         (default 192.168.1.1)
  --selection A,B,C    the three selection bytes; the middle one is the rate
                       index the utility shows (default 4,4,4)
  --version TEXT       version text            (default "LUMEK-7 V2.04")

Faults, for tests and demonstrations:
  --delay MS           wait MS milliseconds before each reply
  --split MS           send each reply in two pieces, MS milliseconds apart
  --silent             receive and log, never reply
  --bad-crc            send replies with a wrong checksum
  --extra-frame        follow each reply at once with a second frame
  --noise N            send bursts of N random bytes ...
  --noise-every MS     ... every MS milliseconds (default 500)
  --seed N             seed for the random bytes (default 1)

Other:
  --log FILE           append the frame log to FILE instead of stderr
  --help               show this text
)";

struct Options {
    std::string line;
    std::string logPath;
    SimSettings settings;
    int delayMs = 0;
    int splitMs = -1;
    bool silent = false;
    bool badCrc = false;
    bool extraFrame = false;
    int noiseBytes = 0;
    int noiseEveryMs = 500;
    unsigned seed = 1;
};

volatile sig_atomic_t stopRequested = 0;

void OnStopSignal(int) {
    stopRequested = 1;
}

bool ParseInt(const char* text, int low, int high, int* out) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < low || v > high)
        return false;
    *out = static_cast<int>(v);
    return true;
}

bool ParseSelection(const char* text, std::uint8_t out[3]) {
    unsigned a, b, c;
    char tail;
    if (std::sscanf(text, "%u,%u,%u%c", &a, &b, &c, &tail) != 3 || a > 255 || b > 255 || c > 255) {
        return false;
    }
    out[0] = static_cast<std::uint8_t>(a);
    out[1] = static_cast<std::uint8_t>(b);
    out[2] = static_cast<std::uint8_t>(c);
    return true;
}

// Exits with status 2 and a message on any bad option.
Options ParseOptions(int argc, char** argv) {
    enum {
        IP = 1000,
        MASK,
        GATEWAY,
        SELECTION,
        VERSION,
        DELAY,
        SPLIT,
        SILENT,
        BAD_CRC,
        EXTRA,
        NOISE,
        NOISE_EVERY,
        SEED,
        LOG,
        HELP
    };
    static const option longOptions[] = {
        {"ip", required_argument, nullptr, IP},
        {"mask", required_argument, nullptr, MASK},
        {"gateway", required_argument, nullptr, GATEWAY},
        {"selection", required_argument, nullptr, SELECTION},
        {"version", required_argument, nullptr, VERSION},
        {"delay", required_argument, nullptr, DELAY},
        {"split", required_argument, nullptr, SPLIT},
        {"silent", no_argument, nullptr, SILENT},
        {"bad-crc", no_argument, nullptr, BAD_CRC},
        {"extra-frame", no_argument, nullptr, EXTRA},
        {"noise", required_argument, nullptr, NOISE},
        {"noise-every", required_argument, nullptr, NOISE_EVERY},
        {"seed", required_argument, nullptr, SEED},
        {"log", required_argument, nullptr, LOG},
        {"help", no_argument, nullptr, HELP},
        {nullptr, 0, nullptr, 0},
    };
    Options o;
    auto fail = [](const std::string& message) {
        std::fprintf(stderr, "lumek7-sim: %s (see --help)\n", message.c_str());
        std::exit(2);
    };
    int c;
    int seed = 1;
    while ((c = getopt_long(argc, argv, "", longOptions, nullptr)) != -1) {
        bool ok = true;
        switch (c) {
            case IP:
                ok = ParseIpv4(optarg, &o.settings.ipAddress);
                break;
            case MASK:
                ok = ParseIpv4(optarg, &o.settings.subnetMask);
                break;
            case GATEWAY:
                ok = ParseIpv4(optarg, &o.settings.gateway);
                break;
            case SELECTION:
                ok = ParseSelection(optarg, o.settings.selection);
                break;
            case VERSION:
                o.settings.versionText = optarg;
                ok = o.settings.versionText.size() <= 200;
                break;
            case DELAY:
                ok = ParseInt(optarg, 0, 60000, &o.delayMs);
                break;
            case SPLIT:
                ok = ParseInt(optarg, 0, 60000, &o.splitMs);
                break;
            case SILENT:
                o.silent = true;
                break;
            case BAD_CRC:
                o.badCrc = true;
                break;
            case EXTRA:
                o.extraFrame = true;
                break;
            case NOISE:
                ok = ParseInt(optarg, 1, 65536, &o.noiseBytes);
                break;
            case NOISE_EVERY:
                ok = ParseInt(optarg, 1, 600000, &o.noiseEveryMs);
                break;
            case SEED:
                ok = ParseInt(optarg, 0, 1 << 30, &seed);
                break;
            case LOG:
                o.logPath = optarg;
                break;
            case HELP:
                std::fputs(USAGE, stdout);
                std::exit(0);
            default:
                fail("unknown option");
        }
        if (!ok)
            fail(std::string("bad value for --") + longOptions[c - IP].name + ": " + optarg);
    }
    o.seed = static_cast<unsigned>(seed);
    if (optind != argc - 1)
        fail("name exactly one LINE");
    o.line = argv[optind];
    return o;
}

class Device {
  public:
    Device(const Options& options, int fd, std::FILE* log)
        : o_(options), fd_(fd), log_(log), settings_(options.settings), random_(options.seed) {}

    int Run();

  private:
    bool Send(const Bytes& bytes, const char* what);
    void Reply(Bytes reply);
    void Handle(const ParseEvent& event);
    void SendNoise();

    const Options& o_;
    int fd_;
    std::FILE* log_;
    SimSettings settings_;
    FrameParser parser_;
    std::mt19937 random_;
};

bool Device::Send(const Bytes& bytes, const char* what) {
    LogLine(log_, "TX %s: %s", what, Hex(bytes.data(), bytes.size()).c_str());
    if (!WriteAll(fd_, bytes.data(), bytes.size())) {
        LogLine(log_, "ERROR writing to the line: %s", std::strerror(errno));
        return false;
    }
    return true;
}

void Device::Reply(Bytes reply) {
    if (o_.silent) {
        LogLine(log_, "silent: no reply");
        return;
    }
    if (o_.delayMs > 0)
        usleep(static_cast<useconds_t>(o_.delayMs) * 1000);
    if (o_.badCrc)
        reply[6] ^= 0x5A;
    if (o_.splitMs >= 0) {
        const std::size_t half = reply.size() / 2;
        Send(Bytes(reply.begin(), reply.begin() + static_cast<long>(half)), "reply, first piece");
        usleep(static_cast<useconds_t>(o_.splitMs) * 1000);
        Send(Bytes(reply.begin() + static_cast<long>(half), reply.end()), "reply, second piece");
        if (o_.extraFrame)
            Send(SetReplyFrame(), "extra frame");
    } else if (o_.extraFrame) {
        // One write, so that no check of the utility can fall between the two.
        const Bytes extra = SetReplyFrame();
        reply.insert(reply.end(), extra.begin(), extra.end());
        Send(reply, "reply followed by an extra frame");
    } else {
        Send(reply, o_.badCrc ? "reply with a wrong checksum" : "reply");
    }
}

void Device::Handle(const ParseEvent& event) {
    const std::string hex = Hex(event.bytes.data(), event.bytes.size());
    switch (event.kind) {
        case ParseEvent::FRAME: {
            std::string note;
            Bytes reply = HandleFrame(event.bytes, &settings_, &note);
            LogLine(log_, "RX frame (%s): %s", note.c_str(), hex.c_str());
            if (!reply.empty())
                Reply(std::move(reply));
            break;
        }
        case ParseEvent::BAD_CHECKSUM:
            LogLine(log_, "RX DROPPED, checksum does not hold: %s", hex.c_str());
            break;
        case ParseEvent::GARBAGE:
            LogLine(log_, "RX UNPARSED, %zu bytes before any frame: %s", event.bytes.size(),
                    hex.c_str());
            break;
        case ParseEvent::INCOMPLETE:
            LogLine(log_, "RX DROPPED, incomplete frame: %s", hex.c_str());
            break;
    }
}

void Device::SendNoise() {
    Bytes noise(static_cast<std::size_t>(o_.noiseBytes));
    for (auto& b : noise)
        b = static_cast<std::uint8_t>(random_());
    Send(noise, "noise");
}

int Device::Run() {
    using Clock = std::chrono::steady_clock;
    constexpr auto PARTIAL_TIMEOUT = std::chrono::milliseconds(200);
    auto nextNoise = Clock::now() + std::chrono::milliseconds(o_.noiseEveryMs);
    auto lastByte = Clock::now();
    std::uint8_t chunk[4096];
    while (!stopRequested) {
        int waitMs = 100;
        if (o_.noiseBytes > 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(nextNoise - Clock::now());
            waitMs = std::max(0, std::min<int>(waitMs, static_cast<int>(left.count())));
        }
        pollfd p{fd_, POLLIN, 0};
        const int ready = poll(&p, 1, waitMs);
        if (ready < 0 && errno != EINTR) {
            LogLine(log_, "ERROR polling the line: %s", std::strerror(errno));
            return 1;
        }
        if (ready > 0 && (p.revents & POLLIN)) {
            const ssize_t got = read(fd_, chunk, sizeof chunk);
            if (got < 0 && errno != EAGAIN && errno != EINTR) {
                LogLine(log_, "ERROR reading the line: %s", std::strerror(errno));
                return 1;
            }
            if (got > 0) {
                parser_.Feed(chunk, static_cast<std::size_t>(got));
                lastByte = Clock::now();
            }
        } else if (ready > 0 && (p.revents & (POLLHUP | POLLERR))) {
            // The far side of a pty has gone; wait for it to come back.
            usleep(50 * 1000);
        }
        ParseEvent event;
        while (parser_.Next(&event))
            Handle(event);
        if (parser_.HasPartial() && Clock::now() - lastByte > PARTIAL_TIMEOUT &&
            parser_.DropIncomplete(&event)) {
            Handle(event);
        }
        if (o_.noiseBytes > 0 && Clock::now() >= nextNoise) {
            SendNoise();
            nextNoise = Clock::now() + std::chrono::milliseconds(o_.noiseEveryMs);
        }
    }
    LogLine(log_, "stopped");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = ParseOptions(argc, argv);
    std::FILE* log = stderr;
    if (!options.logPath.empty()) {
        log = std::fopen(options.logPath.c_str(), "a");
        if (log == nullptr) {
            std::fprintf(stderr, "lumek7-sim: cannot open log %s: %s\n", options.logPath.c_str(),
                         std::strerror(errno));
            return 1;
        }
    }
    std::string error;
    const int fd = OpenLine(options.line, &error);
    if (fd < 0) {
        std::fprintf(stderr, "lumek7-sim: %s\n", error.c_str());
        return 1;
    }
    struct sigaction stop {};
    stop.sa_handler = OnStopSignal;
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGTERM, &stop, nullptr);
    signal(SIGPIPE, SIG_IGN);

    const SimSettings& s = options.settings;
    LogLine(log, "ready on %s: selection %u,%u,%u ip %s mask %s gateway %s version \"%s\"",
            options.line.c_str(), s.selection[0], s.selection[1], s.selection[2],
            FormatIpv4(s.ipAddress).c_str(), FormatIpv4(s.subnetMask).c_str(),
            FormatIpv4(s.gateway).c_str(), s.versionText.c_str());
    Device device(options, fd, log);
    const int rc = device.Run();
    close(fd);
    return rc;
}
