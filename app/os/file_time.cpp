#include "app/os/file_time.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>

#include "app/gb_text.h"
#include "tarndb/errors.h"

namespace filever {
namespace {

constexpr double kMsPerDay = 86400000.0;

std::chrono::sys_days Epoch() {
    using namespace std::chrono;
    return sys_days(year_month_day(year(1899), month(12), day(30)));
}

[[noreturn]] void ThrowOpen(const QString& path, int err) {
    throw tarn::EFOpenError(tarn::Format("Cannot open file \"%s\". %s", QStringToAnsi(path).c_str(),
                                         std::strerror(err)));
}

// Seconds since 1970 of the time asked for; false when there is no such file.
bool FileTimeSeconds(const QByteArray& native, int which, time_t& out) {
    if (which == ftkCreation) {
        struct statx stx;
        if (statx(AT_FDCWD, native.constData(), 0, STATX_BTIME | STATX_MTIME, &stx) != 0)
            return false;
        out = (stx.stx_mask & STATX_BTIME) ? static_cast<time_t>(stx.stx_btime.tv_sec)
                                           : static_cast<time_t>(stx.stx_mtime.tv_sec);
        return true;
    }
    struct stat st;
    if (stat(native.constData(), &st) != 0) return false;
    out = which == ftkLastWrite ? st.st_mtim.tv_sec : st.st_atim.tv_sec;
    return true;
}

}  // namespace

bool LocalTimeToDos(const std::tm& local, TDosDateTime& out) {
    const int year = local.tm_year + 1900;
    if (year < 1980 || year > 2107) return false;
    out.date =
        static_cast<uint16_t>(((year - 1980) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
    // A leap second (60) is the last step of its minute.
    const int sec = local.tm_sec > 59 ? 59 : local.tm_sec;
    out.time = static_cast<uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (sec / 2));
    return true;
}

double EncodeDateTime(int year, int month, int day, int hour, int minute, int second) {
    using namespace std::chrono;
    const sys_days date = sys_days(year_month_day(std::chrono::year(year),
                                                  std::chrono::month(static_cast<unsigned>(month)),
                                                  std::chrono::day(static_cast<unsigned>(day))));
    const double days = static_cast<double>((date - Epoch()).count());
    const double ms = ((hour * 60.0 + minute) * 60.0 + second) * 1000.0;
    return days + ms / kMsPerDay;
}

double DosToDateTime(TDosDateTime dos) {
    return EncodeDateTime(1980 + (dos.date >> 9), (dos.date >> 5) & 0x0F, dos.date & 0x1F,
                          dos.time >> 11, (dos.time >> 5) & 0x3F, (dos.time & 0x1F) * 2);
}

double GetFileTime(const QString& path, int which) {
    time_t secs = 0;
    if (path.isEmpty() || !FileTimeSeconds(QFile::encodeName(path), which, secs)) return 0.0;
    std::tm local{};
    if (localtime_r(&secs, &local) == nullptr) return 0.0;
    TDosDateTime dos;
    if (LocalTimeToDos(local, dos)) return DosToDateTime(dos);
    return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                          local.tm_min, (local.tm_sec > 59 ? 59 : local.tm_sec) / 2 * 2);
}

QString FormatVersionTime(double dateTime) {
    using namespace std::chrono;
    double days = std::floor(dateTime);
    long long ms = std::llround((dateTime - days) * kMsPerDay);
    if (ms >= static_cast<long long>(kMsPerDay)) {
        days += 1;
        ms = 0;
    }
    const year_month_day ymd(Epoch() + std::chrono::days(static_cast<long long>(days)));
    const long long secs = ms / 1000;
    return QString::asprintf("%04d-%02u-%02u-%02lld-%02lld-%02lld", static_cast<int>(ymd.year()),
                             static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                             secs / 3600, secs / 60 % 60, secs % 60);
}

int64_t FileSize(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    int fd = open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) ThrowOpen(path, errno);
    struct stat st;
    int err = 0;
    if (fstat(fd, &st) != 0)
        err = errno;
    else if (S_ISDIR(st.st_mode))
        err = EISDIR;
    close(fd);
    if (err != 0) ThrowOpen(path, err);
    return static_cast<int64_t>(st.st_size);
}

}  // namespace filever
