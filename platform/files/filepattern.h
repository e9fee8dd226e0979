#pragma once

#include <QString>
#include <QStringView>
#include <vector>

namespace platform {

// A file-type pattern such as "*.jpg;*.bmp": wildcard fragments separated by ";", matched against
// a whole file name without regard to case. "*" stands for any run of characters, "?" for exactly
// one; a fragment that ends in ".*" also matches the names without that last part, so "*.*"
// matches every name, one without a dot too, and "Foto.*" matches "Foto". Blanks around a
// fragment are ignored; an empty pattern matches nothing.
class FilePattern {
public:
    explicit FilePattern(const QString& pattern = {});

    bool isEmpty() const { return !everything_ && alternatives_.empty(); }
    bool matches(const QString& name) const { return matchesFolded(name.toCaseFolded()); }
    // The same for a name already case-folded (QString::toCaseFolded), which saves a copy.
    bool matchesFolded(QStringView foldedName) const;

private:
    struct Alternative {
        enum Kind { Exact, Suffix, Wildcard } kind;
        QString text; // case-folded; for Suffix without the leading "*"
    };
    bool everything_ = false;
    std::vector<Alternative> alternatives_;
};

} // namespace platform
