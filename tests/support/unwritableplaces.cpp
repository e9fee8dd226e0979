#include "support/unwritableplaces.h"

#include "support/files.h"

#include <QDir>

namespace testsupport {

void PrintTo(const UnwritablePlace& place, std::ostream* out) {
    *out << place.what;
}

const std::vector<UnwritablePlace>& unwritablePlaces() {
    static const std::vector<UnwritablePlace> places{
        {"BelowARegularFile",
         [](const QString& folder) {
             writeFile(folder + QStringLiteral("/plain"), "x");
             return folder + QStringLiteral("/plain/Foto000.jpg");
         }},
        {"InAMissingFolder",
         [](const QString& folder) { return folder + QStringLiteral("/missing/Foto000.jpg"); }},
        {"OverAFolderOfThatName",
         [](const QString& folder) {
             QDir(folder).mkdir(QStringLiteral("Foto000.jpg"));
             return folder + QStringLiteral("/Foto000.jpg");
         }},
    };
    return places;
}

} // namespace testsupport
