// lumek7-sim on one end of a pty pair, the test on the other. The utility's
// own protocol code checks what the simulator sends, and builds what the
// test sends, so the two independent implementations must agree.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "frame.h"
#include "settings_payload.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

class Sim {
  public:
    explicit Sim(std::vector<std::string> options) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(master_);
        unlockpt(master_);
        termios tio;
        tcgetattr(master_, &tio);
        cfmakeraw(&tio);
        tcsetattr(master_, TCSANOW, &tio);
        const std::string slave = ptsname(master_);
        char logTemplate[] = "/tmp/lumek7-sim-test-XXXXXX";
        close(mkstemp(logTemplate));
        logPath_ = logTemplate;

        std::vector<std::string> args{LUMEK7_SIM_PATH, "--log", logPath_};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(slave);
        pid_ = fork();
        if (pid_ == 0) {
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        const auto start = Clock::now();
        while (Log().find("ready on") == std::string::npos && MsSince(start) < 5000) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    ~Sim() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        close(master_);
        unlink(logPath_.c_str());
    }

    bool Ready() { return Log().find("ready on") != std::string::npos; }
    bool Alive() { return waitpid(pid_, nullptr, WNOHANG) == 0; }

    void Send(const Bytes& bytes) {
        ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // Collects bytes until `want` have come or nothing more comes for
    // `quietMs` (or `totalMs` pass).
    Bytes Receive(std::size_t want, int quietMs = 300, int totalMs = 3000) {
        Bytes got;
        const auto start = Clock::now();
        while (got.size() < want && MsSince(start) < totalMs) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, quietMs) <= 0)
                break;
            std::uint8_t chunk[1024];
            const ssize_t n = read(master_, chunk, sizeof chunk);
            if (n <= 0)
                break;
            got.insert(got.end(), chunk, chunk + n);
        }
        return got;
    }

    std::string Log() {
        std::ifstream in(logPath_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

  private:
    int master_ = -1;
    pid_t pid_ = -1;
    std::string logPath_;
};

Bytes Query() {
    return Bytes(QUERY_FRAME, QUERY_FRAME + QUERY_FRAME_SIZE);
}

Bytes SetRequest(int rate, Ipv4Value ip, Ipv4Value mask, Ipv4Value gateway) {
    const std::uint8_t* frame = PrepareSetRequest(rate, ip, mask, gateway);
    return Bytes(frame, frame + SET_REQUEST_SIZE);
}

// Decodes a whole reply the way the utility's check does.
std::optional<DeviceSettings> Decode(const Bytes& reply) {
    const FrameCheck check = CheckFrame(reply.data(), reply.size());
    if (!check.accepted || check.command != CMD_QUERY_REPLY)
        return std::nullopt;
    return DecodeQueryReply(check.payload, check.payloadLength);
}

TEST(Simulator, AnswersAQueryWithItsDefaultSettings) {
    Sim sim({});
    ASSERT_TRUE(sim.Ready());
    sim.Send(Query());
    const auto settings = Decode(sim.Receive(SIZE_MAX));
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->selection[1], 4);
    EXPECT_EQ(settings->ipAddress, 0xC0A801C3u);
    EXPECT_EQ(settings->subnetMask, 0xFFFFFF00u);
    EXPECT_EQ(settings->gateway, 0xC0A80101u);
    EXPECT_EQ(settings->versionText, "LUMEK-7 V2.04");
    EXPECT_NE(sim.Log().find("RX frame (query): 4C 4D 4B 51 00 01 01 B0 00 00"), std::string::npos);
}

TEST(Simulator, SettingOptionsAndASetRequestChangeWhatItReports) {
    Sim sim({"--ip", "10.1.2.3", "--mask", "255.0.0.0", "--gateway", "10.0.0.254", "--selection",
             "1,3,2", "--version", "V9"});
    ASSERT_TRUE(sim.Ready());
    sim.Send(Query());
    auto settings = Decode(sim.Receive(SIZE_MAX));
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->selection[0], 1);
    EXPECT_EQ(settings->selection[1], 3);
    EXPECT_EQ(settings->selection[2], 2);
    EXPECT_EQ(settings->ipAddress, 0x0A010203u);
    EXPECT_EQ(settings->versionText, "V9");

    sim.Send(SetRequest(0, 0xAC100005, 0xFFFFF000, 0xAC100001));
    const Bytes ack = sim.Receive(SIZE_MAX);
    const FrameCheck check = CheckFrame(ack.data(), ack.size());
    ASSERT_TRUE(check.accepted);
    EXPECT_EQ(check.command, CMD_SET_REPLY);

    sim.Send(Query());
    settings = Decode(sim.Receive(SIZE_MAX));
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->selection[0], 0);
    EXPECT_EQ(settings->selection[1], 0);
    EXPECT_EQ(settings->ipAddress, 0xAC100005u);
    EXPECT_EQ(settings->subnetMask, 0xFFFFF000u);
    EXPECT_EQ(settings->gateway, 0xAC100001u);
    EXPECT_EQ(settings->versionText, "V9");
}

TEST(Simulator, ReassemblesPiecesAndSkipsGarbage) {
    Sim sim({});
    ASSERT_TRUE(sim.Ready());
    Bytes stream{0x00, 0x13, 'L', 'M', 0x7F};  // garbage, one false start included
    const Bytes query = Query();
    stream.insert(stream.end(), query.begin(), query.end());
    sim.Send(Bytes(stream.begin(), stream.begin() + 9));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    sim.Send(Bytes(stream.begin() + 9, stream.end()));
    EXPECT_TRUE(Decode(sim.Receive(SIZE_MAX)));
    EXPECT_NE(sim.Log().find("RX UNPARSED"), std::string::npos);
}

TEST(Simulator, RejectsABadChecksumWithALogLine) {
    Sim sim({});
    ASSERT_TRUE(sim.Ready());
    Bytes request = SetRequest(2, 1, 2, 3);
    request[7] ^= 0x01;
    sim.Send(request);
    EXPECT_TRUE(sim.Receive(1, 400).empty());
    EXPECT_NE(sim.Log().find("checksum does not hold"), std::string::npos);
    // And the settings are untouched.
    sim.Send(Query());
    auto settings = Decode(sim.Receive(SIZE_MAX));
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->ipAddress, 0xC0A801C3u);
}

TEST(Simulator, SurvivesRandomBytesAndStillAnswers) {
    Sim sim({});
    ASSERT_TRUE(sim.Ready());
    std::srand(7);
    for (int burst = 0; burst < 20; ++burst) {
        Bytes noise(500);
        for (auto& b : noise)
            b = static_cast<std::uint8_t>(std::rand());
        if (burst % 5 == 0)
            noise[0] = 'L', noise[1] = 'M', noise[2] = 'K', noise[3] = 'Q';
        sim.Send(noise);
    }
    sim.Receive(SIZE_MAX, 400);                                   // whatever the noise provoked
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // a partial frame times out
    sim.Receive(SIZE_MAX, 100);
    sim.Send(Query());
    EXPECT_TRUE(Decode(sim.Receive(SIZE_MAX)));
    EXPECT_TRUE(sim.Alive());
}

TEST(SimulatorFaults, DelaySplitSilentBadCrcExtraFrame) {
    {
        Sim sim({"--delay", "300"});
        ASSERT_TRUE(sim.Ready());
        const auto start = Clock::now();
        sim.Send(Query());
        const Bytes reply = sim.Receive(SIZE_MAX, 1000);
        EXPECT_GE(MsSince(start), 290.0);
        EXPECT_TRUE(Decode(reply));
    }
    {
        Sim sim({"--split", "250"});
        ASSERT_TRUE(sim.Ready());
        sim.Send(Query());
        const Bytes first = sim.Receive(SIZE_MAX, 150);
        const Bytes second = sim.Receive(SIZE_MAX, 500);
        EXPECT_FALSE(first.empty());
        EXPECT_FALSE(second.empty());
        Bytes whole = first;
        whole.insert(whole.end(), second.begin(), second.end());
        EXPECT_FALSE(Decode(first));
        EXPECT_TRUE(Decode(whole));
    }
    {
        Sim sim({"--silent"});
        ASSERT_TRUE(sim.Ready());
        sim.Send(Query());
        EXPECT_TRUE(sim.Receive(1, 500).empty());
        EXPECT_NE(sim.Log().find("RX frame (query)"), std::string::npos);
    }
    {
        Sim sim({"--bad-crc"});
        ASSERT_TRUE(sim.Ready());
        sim.Send(Query());
        const Bytes reply = sim.Receive(SIZE_MAX);
        ASSERT_GT(reply.size(), 10u);
        EXPECT_FALSE(CheckFrame(reply.data(), reply.size()).accepted);
        Bytes mended = reply;
        mended[6] ^= 0x5A;
        EXPECT_TRUE(Decode(mended));
    }
    {
        Sim sim({"--extra-frame"});
        ASSERT_TRUE(sim.Ready());
        sim.Send(Query());
        const Bytes both = sim.Receive(SIZE_MAX);
        EXPECT_FALSE(CheckFrame(both.data(), both.size()).accepted);
        ASSERT_GT(both.size(), 10u);
        const Bytes tail(both.end() - 10, both.end());
        const FrameCheck extra = CheckFrame(tail.data(), tail.size());
        EXPECT_TRUE(extra.accepted);
        EXPECT_EQ(extra.command, CMD_SET_REPLY);
        EXPECT_TRUE(Decode(Bytes(both.begin(), both.end() - 10)));
    }
}

TEST(SimulatorFaults, NoiseBurstsArriveUnasked) {
    Sim sim({"--noise", "64", "--noise-every", "100", "--seed", "3"});
    ASSERT_TRUE(sim.Ready());
    const Bytes noise = sim.Receive(256, 500, 2000);
    EXPECT_GE(noise.size(), 128u);
    EXPECT_NE(sim.Log().find("TX noise"), std::string::npos);
}

TEST(SimulatorCommandLine, HelpAndBadOptions) {
    struct Case {
        std::string args;
        int status;
        const char* needle;
    };
    const Case cases[] = {
        {"--help", 0, "Usage: lumek7-sim"},
        {"--ip 300.1.1.1 /dev/null", 2, "bad value for --ip"},
        {"--selection 1,2 /dev/null", 2, "bad value for --selection"},
        {"--delay -5 /dev/null", 2, "bad value for --delay"},
        {"--bogus /dev/null", 2, "unknown option"},
        {"", 2, "name exactly one LINE"},
        {"/nonexistent/tty", 1, "cannot open"},
        {"/dev/null", 1, "is not a terminal"},
    };
    for (const Case& c : cases) {
        const std::string command = std::string(LUMEK7_SIM_PATH) + " " + c.args + " 2>&1";
        FILE* out = popen(command.c_str(), "r");
        ASSERT_NE(out, nullptr);
        std::string text;
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, out))
            text += buffer;
        const int status = pclose(out);
        EXPECT_EQ(WEXITSTATUS(status), c.status) << c.args;
        EXPECT_NE(text.find(c.needle), std::string::npos) << c.args << ": " << text;
    }
}

}  // namespace
