#pragma once

#include <QString>
#include <stdexcept>

namespace platform {

// The numbers a run-time error can carry; handlers test for them by number.
enum ErrorNumber : int {
    ErrInvalidProcedureCall = 5,
    ErrOverflow = 6,
    ErrOutOfMemory = 7,
    ErrSubscriptOutOfRange = 9,
    ErrTypeMismatch = 13,
    ErrInternal = 51,
    ErrBadFileName = 52,
    ErrFileNotFound = 53,
    ErrDeviceIO = 57,
    ErrDiskFull = 61,
    ErrDeviceUnavailable = 68,
    ErrPermissionDenied = 70,
    ErrPathFileAccess = 75,
    ErrPathNotFound = 76,
    ErrInvalidPropertyValue = 380,
    ErrInvalidPicture = 481,
};

// A run-time error: one exception type for every failure that carries a number.
class RuntimeError : public std::runtime_error {
public:
    explicit RuntimeError(int number, const QString& description = {});
    int number() const noexcept { return number_; }
    QString description() const { return QString::fromUtf8(what()); }

private:
    int number_;
};

// The standard description of an error number ("Overflow", "Path not found", ...).
QString errorDescription(int number);

// Throws RuntimeError(number) with the standard description.
[[noreturn]] void raise(int number);

} // namespace platform
