// HID devices over Linux hidraw. Stands in for the HID and SetupAPI
// services: devices are listed from /sys/class/hidraw (vendor and product
// from the uevent's HID_ID line), opened as /dev/hidrawN, read with poll()
// and an eventfd for the wake-up, written with write() and, for the
// output-report path, the HIDIOCSOUTPUT ioctl.
// Limits: the caller needs read/write access to the device node (a udev
// rule), and no kernel driver may claim the device for itself; writes block
// until the kernel takes the report.
// Depends on: Linux hidraw, poll, eventfd.
#include "hidraw/hid_hidraw.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace morpotta::platform {
namespace {

struct HidrawDevice {
    int fd;
    int wakeFd;
};

HidrawDevice* HidrawFromHandle(HidDevice device) { return reinterpret_cast<HidrawDevice*>(device); }

// "HID_ID=0005:0000057E:00000306" → vendor and product.
bool ReadHidIds(const std::filesystem::path& uevent, uint16_t* vendor, uint16_t* product) {
    std::ifstream in(uevent);
    std::string line;
    while (std::getline(in, line)) {
        unsigned bus = 0, v = 0, p = 0;
        if (std::sscanf(line.c_str(), "HID_ID=%x:%x:%x", &bus, &v, &p) == 3) {
            *vendor = uint16_t(v);
            *product = uint16_t(p);
            return true;
        }
    }
    return false;
}

int DeviceNumber(const std::string& name) { return std::atoi(name.c_str() + std::strlen("hidraw")); }

int HidrawEnumerate(HidDeviceInfo* out, int capacity) {
    std::error_code ec;
    std::filesystem::directory_iterator it("/sys/class/hidraw", ec);
    if (ec) return -1;
    std::vector<std::string> names;
    for (const auto& entry : it) {
        std::string name = entry.path().filename().string();
        if (name.rfind("hidraw", 0) == 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return DeviceNumber(a) < DeviceNumber(b); });
    int count = 0;
    for (const std::string& name : names) {
        uint16_t vendor = 0, product = 0;
        if (!ReadHidIds(std::filesystem::path("/sys/class/hidraw") / name / "device" / "uevent", &vendor, &product))
            continue;
        if (count < capacity) {
            std::snprintf(out[count].path, sizeof out[count].path, "/dev/%s", name.c_str());
            out[count].vendorId = vendor;
            out[count].productId = product;
        }
        ++count;
    }
    return count;
}

HidDevice HidrawOpen(const char* path, int* errorCode) {
    int fd = ::open(path, O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        if (errorCode) *errorCode = errno;
        return 0;
    }
    int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        if (errorCode) *errorCode = errno;
        ::close(fd);
        return 0;
    }
    return reinterpret_cast<HidDevice>(new HidrawDevice{fd, wakeFd});
}

void HidrawClose(HidDevice device) {
    HidrawDevice* d = HidrawFromHandle(device);
    if (!d) return;
    ::close(d->fd);
    ::close(d->wakeFd);
    delete d;
}

int HidrawRead(HidDevice device, uint8_t* buffer, int size, int timeoutMs) {
    HidrawDevice* d = HidrawFromHandle(device);
    if (!d) return -1;
    pollfd fds[2] = {{d->fd, POLLIN, 0}, {d->wakeFd, POLLIN, 0}};
    int n = ::poll(fds, 2, timeoutMs);
    if (n < 0) return errno == EINTR ? 0 : -1;
    if (fds[1].revents & POLLIN) {
        uint64_t drained;
        ssize_t ignored = ::read(d->wakeFd, &drained, sizeof drained);
        (void)ignored;
        return 0;
    }
    if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return -1;
    if (!(fds[0].revents & POLLIN)) return 0;
    ssize_t got = ::read(d->fd, buffer, size_t(size));
    if (got < 0) return (errno == EINTR || errno == EAGAIN) ? 0 : -1;
    return int(got);
}

void HidrawWake(HidDevice device) {
    HidrawDevice* d = HidrawFromHandle(device);
    if (!d) return;
    uint64_t one = 1;
    ssize_t ignored = ::write(d->wakeFd, &one, sizeof one);
    (void)ignored;
}

HidStatus StatusFromErrno(int error) {
    switch (error) {
    case EAGAIN: case EBUSY: return HidStatus::Busy;
    case EINTR: return HidStatus::NotReady;
    case EINVAL: case ENOTTY: case EOPNOTSUPP: case ENOSYS: return HidStatus::NotSupported;
    case ENODEV: case ENXIO: case EPIPE: case ESHUTDOWN: return HidStatus::Gone;
    default: return HidStatus::Failed;
    }
}

HidStatus HidrawWrite(HidDevice device, const uint8_t* report, int size, int* errorCode) {
    HidrawDevice* d = HidrawFromHandle(device);
    if (!d) return HidStatus::Failed;
    ssize_t n = ::write(d->fd, report, size_t(size));
    if (n == size) return HidStatus::Ok;
    int error = n < 0 ? errno : EIO;
    if (errorCode) *errorCode = error;
    return StatusFromErrno(error);
}

HidStatus HidrawSendOutputReport(HidDevice device, const uint8_t* report, int size, int* errorCode) {
    HidrawDevice* d = HidrawFromHandle(device);
    if (!d) return HidStatus::Failed;
    if (::ioctl(d->fd, HIDIOCSOUTPUT(size), report) >= 0) return HidStatus::Ok;
    if (errorCode) *errorCode = errno;
    return StatusFromErrno(errno);
}

}  // namespace

const HidBackend kHidrawBackend = {
    "hidraw",   HidrawEnumerate, HidrawOpen, HidrawClose, HidrawRead, HidrawWake, HidrawWrite,
    HidrawSendOutputReport,
};

}  // namespace morpotta::platform
