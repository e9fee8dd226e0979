#include "fuzz/fuzztargets.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>

// The image readers find their plugins through the application object; their complaints about
// each broken input are no news here.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    static const std::unique_ptr<QCoreApplication> application =
        std::make_unique<QCoreApplication>(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (const std::string problem = fuzztargets::convertPicture({data, size}); !problem.empty()) {
        std::fprintf(stderr, "picture mishandled: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
