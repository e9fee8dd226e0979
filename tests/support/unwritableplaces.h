#pragma once

#include <QString>
#include <functional>
#include <ostream>
#include <vector>

namespace testsupport {

// A place where no file can be written, even by root: make prepares it in an empty folder and
// returns the path to write.
struct UnwritablePlace {
    const char* what;
    std::function<QString(const QString& folder)> make;
};
void PrintTo(const UnwritablePlace& place, std::ostream* out);

// Below a regular file, in a missing folder, over a folder of the file's name.
const std::vector<UnwritablePlace>& unwritablePlaces();

} // namespace testsupport
