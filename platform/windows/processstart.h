#pragma once

#include <QString>
#include <functional>

namespace platform {

struct ProcessStartRequest {
    QString program; // the full path of the program file
};

// Starts the program file as a new, independent process and returns at once with its process id;
// the program is not waited for and its window opens as a newly started program's window does.
// Throws RuntimeError: 5 for an empty path or a file that is not a program, 53 for a program
// file that does not exist, 75 when the system cannot start it.
qint64 StartProcess(const QString& program);

// The seam through which every start goes once the program file has been checked. An empty
// handler restores the real start; tests install one that records the request and returns a
// process id, or throws RuntimeError to play a start that fails.
using ProcessStartHandler = std::function<qint64(const ProcessStartRequest&)>;
void setProcessStartHandler(ProcessStartHandler handler);

} // namespace platform
