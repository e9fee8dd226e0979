#include "conversion/outputname.h"

namespace conversion {

QString RunningNumber(std::int32_t index) {
    return QStringLiteral("%1").arg(index, 3, 10, QLatin1Char('0'));
}

QString OutputExtension(bool small, bool capital) {
    if (small)
        return QStringLiteral(".jpg");
    if (capital)
        return QStringLiteral(".JPG");
    return {};
}

QString OutputPath(const QString& folder, const QString& base, std::int32_t index,
                   const QString& extension) {
    return folder + u'/' + base + RunningNumber(index) + extension;
}

} // namespace conversion
