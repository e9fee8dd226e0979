#pragma once

#include <QString>
#include <cstdint>

namespace conversion {

// The running number of the file at position index of a run: its decimal digits, filled with
// zeros on the left to three digits (000 ... 999, then 1000, 1001 ...).
QString RunningNumber(std::int32_t index);

// The extension of the outputs: ".jpg" when the small one is chosen, otherwise ".JPG" when the
// capital one is, otherwise none. The small one is asked first.
QString OutputExtension(bool small, bool capital);

// folder + "/" + base + running number + extension. The folder is used as it is, also when it
// ends in a separator; the base may be empty.
QString OutputPath(const QString& folder, const QString& base, std::int32_t index,
                   const QString& extension);

} // namespace conversion
