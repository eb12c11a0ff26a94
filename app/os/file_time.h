// File times and sizes as the catalogue records them.
//
// A version is named after its source file's last-write time in local time, formatted
// "yyyy-mm-dd-hh-mm-ss". The time goes through the DOS date and time words on its way
// (date: years since 1980 in bits 9-15, month 5-8, day 0-4; time: hour 11-15, minute 5-10,
// seconds / 2 in bits 0-4), so it has a resolution of two seconds: two saves within one
// two-second step give the same name. Times are date-time values: days since 1899-12-30
// with the time of day as the fraction; 0.0 stands for "no such file".
#pragma once

#include <QString>
#include <cstdint>
#include <ctime>

namespace filever {

struct TDosDateTime {
    uint16_t date = 0;
    uint16_t time = 0;
};

// The DOS words of a broken-down local time. False when the year is outside the range
// the words can hold (1980 to 2107).
bool LocalTimeToDos(const std::tm& local, TDosDateTime& out);
// The date-time value of DOS words.
double DosToDateTime(TDosDateTime dos);
// The date-time value of a calendar date and time of day.
double EncodeDateTime(int year, int month, int day, int hour, int minute, int second);

// Which time GetFileTime reads.
enum TFileTimeKind { ftkCreation = 0, ftkLastWrite = 1, ftkLastAccess = 2 };

// The file's creation (birth time where the file system keeps one, else last-write),
// last-write or last-access time (`which` 0, 1, anything else) in local time, at DOS
// resolution; 0.0 when no file is found at `path`. A time outside the DOS range keeps
// its own date and time with the seconds rounded down to even, so the two-second steps
// hold there too. Raises nothing.
double GetFileTime(const QString& path, int which);

// "yyyy-mm-dd-hh-mm-ss" of a date-time value (hours 0-23); 0.0 gives 1899-12-30-00-00-00.
QString FormatVersionTime(double dateTime);

// The size in bytes of the file at `path`, opened for reading. Raises tarn::EFOpenError
// ("Cannot open file \"<path>\". <system text>") when it cannot be opened or is a
// directory.
int64_t FileSize(const QString& path);

}  // namespace filever
