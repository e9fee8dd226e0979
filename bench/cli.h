#pragma once

// The command line of every benchmark: a usage text for --help, options checked before anything
// is measured, folders taken relative to the working folder, and failures told in a sentence
// instead of an abort or an uncaught exception.

#include "platform/errors/runtimeerror.h"

#include <QDir>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <limits>
#include <map>
#include <stdexcept>

namespace bench {

// What stops a benchmark; the message says what failed and why.
class Failure : public std::runtime_error {
public:
    explicit Failure(const QString& message) : std::runtime_error(message.toStdString()) {}
};

[[noreturn]] inline void fail(const QString& message) {
    throw Failure(message);
}

class Arguments {
public:
    // usage: the lines after "usage: "; options: the names of the options that take a value.
    Arguments(int argc, char** argv, const char* usage, const QStringList& options)
        : usage_(usage) {
        for (int i = 1; i < argc; ++i) {
            const QString argument = QString::fromLocal8Bit(argv[i]);
            if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
                std::printf("usage: %s", usage);
                std::exit(0);
            }
            if (!argument.startsWith(QLatin1String("--")) || argument.size() == 2) {
                positional_.append(argument);
                continue;
            }
            const qsizetype equals = argument.indexOf(u'=');
            const QString name = argument.mid(2, equals < 0 ? -1 : equals - 2);
            if (!options.contains(name))
                wrong(QStringLiteral("unknown option --%1").arg(name));
            if (equals >= 0)
                options_[name] = argument.mid(equals + 1);
            else if (i + 1 < argc)
                options_[name] = QString::fromLocal8Bit(argv[++i]);
            else
                wrong(QStringLiteral("--%1 needs a value").arg(name));
        }
    }

    QString option(const QString& name, const QString& fallback = {}) const {
        const auto found = options_.find(name);
        return found == options_.end() ? fallback : found->second;
    }
    int number(const QString& name, int fallback, int least = 1) const {
        const QString text = option(name);
        return text.isEmpty() ? fallback : wholeNumber(text, QStringLiteral("--") + name, least);
    }
    // text as a whole number from least to most; what names it in the message when it is not.
    int wholeNumber(const QString& text, const QString& what, int least,
                    int most = std::numeric_limits<int>::max()) const {
        bool ok = false;
        const int value = text.toInt(&ok);
        if (!ok || value < least || value > most)
            wrong(QStringLiteral("%1 is a whole number from %2 to %3, not \"%4\"")
                      .arg(what)
                      .arg(least)
                      .arg(most)
                      .arg(text));
        return value;
    }
    // The positional arguments; more than `most` is a mistake of the caller.
    const QStringList& positional(qsizetype most) const {
        if (positional_.size() > most)
            wrong(QStringLiteral("unexpected argument \"%1\"").arg(positional_[most]));
        return positional_;
    }
    // A folder named on the command line, relative ones from the working folder.
    static QString folder(const QString& path) {
        return QDir::cleanPath(QDir(path).absolutePath());
    }

    [[noreturn]] void wrong(const QString& message) const {
        std::fprintf(stderr, "%s\nusage: %s", qPrintable(message), usage_);
        std::exit(2);
    }

private:
    const char* usage_;
    QStringList positional_;
    std::map<QString, QString> options_;
};

// Runs a benchmark's body; what it throws ends the program with a message and exit code 1.
// Qt's warnings (a platform plugin's missing features, an unset runtime folder) are dropped: they
// would bury the figures, and come again from every child process that measures one way.
inline int guarded(const std::function<int()>& body) {
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });
    try {
        return body();
    } catch (const platform::RuntimeError& error) {
        std::fprintf(stderr, "error %d: %s\n", error.number(), error.what());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "error: %s\n", error.what());
    }
    return 1;
}

} // namespace bench
