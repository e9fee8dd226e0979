#include "platform/windows/processstart.h"

#include "platform/errors/runtimeerror.h"

#include <QFileInfo>
#include <QProcess>

namespace platform {

namespace {

ProcessStartHandler& handler() {
    static ProcessStartHandler instance;
    return instance;
}

qint64 startReal(const ProcessStartRequest& request) {
    qint64 pid = 0;
    if (!QProcess::startDetached(request.program, {}, QString(), &pid))
        throw RuntimeError(ErrPathFileAccess, QStringLiteral("Cannot start ") + request.program);
    return pid;
}

} // namespace

qint64 StartProcess(const QString& program) {
    if (program.isEmpty())
        raise(ErrInvalidProcedureCall);
    const QFileInfo file(program);
    if (!file.exists())
        raise(ErrFileNotFound);
    if (!file.isFile() || !file.isExecutable())
        raise(ErrInvalidProcedureCall);
    const ProcessStartRequest request{file.absoluteFilePath()};
    return handler() ? handler()(request) : startReal(request);
}

void setProcessStartHandler(ProcessStartHandler h) {
    handler() = std::move(h);
}

} // namespace platform
