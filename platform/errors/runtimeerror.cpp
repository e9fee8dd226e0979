#include "platform/errors/runtimeerror.h"

namespace platform {

RuntimeError::RuntimeError(int number, const QString& description)
    : std::runtime_error(
          (description.isEmpty() ? errorDescription(number) : description).toStdString()),
      number_(number) {}

QString errorDescription(int number) {
    switch (number) {
    case ErrInvalidProcedureCall:
        return QStringLiteral("Invalid procedure call or argument");
    case ErrOverflow:
        return QStringLiteral("Overflow");
    case ErrOutOfMemory:
        return QStringLiteral("Out of memory");
    case ErrSubscriptOutOfRange:
        return QStringLiteral("Subscript out of range");
    case ErrTypeMismatch:
        return QStringLiteral("Type mismatch");
    case ErrInternal:
        return QStringLiteral("Internal error");
    case ErrBadFileName:
        return QStringLiteral("Bad file name or number");
    case ErrFileNotFound:
        return QStringLiteral("File not found");
    case ErrDeviceIO:
        return QStringLiteral("Device I/O error");
    case ErrDiskFull:
        return QStringLiteral("Disk full");
    case ErrDeviceUnavailable:
        return QStringLiteral("Device unavailable");
    case ErrPermissionDenied:
        return QStringLiteral("Permission denied");
    case ErrPathFileAccess:
        return QStringLiteral("Path/File access error");
    case ErrPathNotFound:
        return QStringLiteral("Path not found");
    case ErrInvalidPropertyValue:
        return QStringLiteral("Invalid property value");
    case ErrInvalidPicture:
        return QStringLiteral("Invalid picture");
    default:
        return QStringLiteral("Application-defined or object-defined error");
    }
}

void raise(int number) {
    throw RuntimeError(number);
}

} // namespace platform
