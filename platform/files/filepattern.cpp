#include "platform/files/filepattern.h"

#include <QStringList>

namespace platform {
namespace {

bool hasWildcards(QStringView text) {
    return text.contains(QLatin1Char('*')) || text.contains(QLatin1Char('?'));
}

// One step of "?": a whole character, so a pair of surrogates counts as one.
qsizetype characterLength(QStringView text, qsizetype at) {
    return text[at].isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate() ? 2
                                                                                               : 1;
}

// Matching with "*" and "?", going back to the last "*" on a mismatch: linear in practice, and
// never worse than the product of both lengths.
bool wildcardMatch(QStringView pattern, QStringView name) {
    qsizetype p = 0;
    qsizetype n = 0;
    qsizetype starAt = -1;
    qsizetype resumeAt = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == QLatin1Char('*')) {
            starAt = p++;
            resumeAt = n;
        } else if (p < pattern.size() && pattern[p] == QLatin1Char('?')) {
            ++p;
            n += characterLength(name, n);
        } else if (p < pattern.size() && pattern[p] == name[n]) {
            ++p;
            ++n;
        } else if (starAt >= 0) {
            p = starAt + 1;
            resumeAt += characterLength(name, resumeAt);
            n = resumeAt;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == QLatin1Char('*'))
        ++p;
    return p == pattern.size();
}

} // namespace

FilePattern::FilePattern(const QString& pattern) {
    const auto add = [this](const QString& text) {
        if (text.isEmpty())
            return;
        if (text.count(QLatin1Char('*')) == text.size()) {
            everything_ = true;
        } else if (!hasWildcards(text)) {
            alternatives_.push_back({Alternative::Exact, text});
        } else if (text.startsWith(QLatin1Char('*')) && !hasWildcards(QStringView(text).mid(1))) {
            alternatives_.push_back({Alternative::Suffix, text.mid(1)});
        } else {
            alternatives_.push_back({Alternative::Wildcard, text});
        }
    };
    for (const QString& part : pattern.split(QLatin1Char(';'))) {
        const QString fragment = part.trimmed().toCaseFolded();
        add(fragment);
        if (fragment.endsWith(QLatin1String(".*")))
            add(fragment.chopped(2));
    }
}

bool FilePattern::matchesFolded(QStringView foldedName) const {
    if (everything_)
        return !foldedName.isEmpty();
    for (const Alternative& alternative : alternatives_) {
        switch (alternative.kind) {
        case Alternative::Exact:
            if (foldedName == alternative.text)
                return true;
            break;
        case Alternative::Suffix:
            if (foldedName.endsWith(alternative.text))
                return true;
            break;
        case Alternative::Wildcard:
            if (wildcardMatch(alternative.text, foldedName))
                return true;
            break;
        }
    }
    return false;
}

} // namespace platform
