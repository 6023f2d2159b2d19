// The pty modem-line shim, loaded and called directly: it must answer the
// modem-line requests on pty slaves and pass everything else to the real
// ioctl.
#include <dlfcn.h>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

using IoctlFn = int (*)(int, unsigned long, ...);

class ShimTest : public ::testing::Test {
  protected:
    void SetUp() override {
        library_ = dlopen(LUMEK7_SHIM_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library_, nullptr) << dlerror();
        shimIoctl_ = reinterpret_cast<IoctlFn>(dlsym(library_, "ioctl"));
        ASSERT_NE(shimIoctl_, nullptr);
        ASSERT_EQ(openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0);
    }
    void TearDown() override {
        close(master_);
        close(slave_);
        if (library_)
            dlclose(library_);
    }

    void* library_ = nullptr;
    IoctlFn shimIoctl_ = nullptr;
    int master_ = -1;
    int slave_ = -1;
};

TEST_F(ShimTest, AnswersModemLinesOnAPtySlave) {
    // The bare pty has no modem lines at all (unless this process runs with
    // the shim preloaded already).
    int lines = 0;
    const char* preloaded = std::getenv("LD_PRELOAD");
    if (preloaded == nullptr || std::strstr(preloaded, "ptyshim") == nullptr) {
        EXPECT_EQ(ioctl(slave_, TIOCMGET, &lines), -1);
    }

    ASSERT_EQ(shimIoctl_(slave_, TIOCMGET, &lines), 0);
    EXPECT_EQ(lines & (TIOCM_DSR | TIOCM_CTS | TIOCM_CAR), TIOCM_DSR | TIOCM_CTS | TIOCM_CAR);
    EXPECT_EQ(lines & (TIOCM_DTR | TIOCM_RTS), 0);

    int dtr = TIOCM_DTR;
    ASSERT_EQ(shimIoctl_(slave_, TIOCMBIS, &dtr), 0);
    ASSERT_EQ(shimIoctl_(slave_, TIOCMGET, &lines), 0);
    EXPECT_TRUE(lines & TIOCM_DTR);

    int rtsOnly = TIOCM_RTS;
    ASSERT_EQ(shimIoctl_(slave_, TIOCMSET, &rtsOnly), 0);
    ASSERT_EQ(shimIoctl_(slave_, TIOCMGET, &lines), 0);
    EXPECT_FALSE(lines & TIOCM_DTR);
    EXPECT_TRUE(lines & TIOCM_RTS);

    // The device's own lines stay up whatever the host clears.
    int all = TIOCM_RTS | TIOCM_DSR | TIOCM_CTS | TIOCM_CAR;
    ASSERT_EQ(shimIoctl_(slave_, TIOCMBIC, &all), 0);
    ASSERT_EQ(shimIoctl_(slave_, TIOCMGET, &lines), 0);
    EXPECT_FALSE(lines & TIOCM_RTS);
    EXPECT_EQ(lines & (TIOCM_DSR | TIOCM_CTS | TIOCM_CAR), TIOCM_DSR | TIOCM_CTS | TIOCM_CAR);
}

TEST_F(ShimTest, PassesEverythingElseToTheRealIoctl) {
    int lines = 0;
    // Not a pty slave: the real answer, an error.
    const int devNull = open("/dev/null", O_RDWR);
    ASSERT_GE(devNull, 0);
    EXPECT_EQ(shimIoctl_(devNull, TIOCMGET, &lines), -1);
    close(devNull);
    EXPECT_EQ(shimIoctl_(master_, TIOCMGET, &lines), ioctl(master_, TIOCMGET, &lines));

    // Other requests on a pty slave work as ever.
    termios raw{};
    ASSERT_EQ(tcgetattr(slave_, &raw), 0);
    cfmakeraw(&raw);
    ASSERT_EQ(tcsetattr(slave_, TCSANOW, &raw), 0);
    ASSERT_EQ(write(master_, "abc", 3), 3);
    usleep(20000);
    int queued = -1;
    ASSERT_EQ(shimIoctl_(slave_, FIONREAD, &queued), 0);
    EXPECT_EQ(queued, 3);
    EXPECT_EQ(shimIoctl_(slave_, TIOCMGET, nullptr), -1);
    EXPECT_EQ(errno, EFAULT);
}

}  // namespace
