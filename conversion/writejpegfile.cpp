#include "conversion/writejpegfile.h"

#include "image/cdibsection.h"
#include "platform/errors/runtimeerror.h"
#include "platform/files/filenames.h"
#include "platform/jpeg/ijl.h"
#include "platform/windows/appinfo.h"
#include "platform/windows/messagebox.h"

#include <QByteArray>

namespace {

// 32-bit signed arithmetic that raises the overflow error instead of wrapping.
std::int32_t negated(std::int32_t value) {
    std::int32_t result = 0;
    if (__builtin_sub_overflow(0, value, &result))
        platform::raise(platform::ErrOverflow);
    return result;
}

std::int32_t difference(std::int32_t a, std::int32_t b) {
    std::int32_t result = 0;
    if (__builtin_sub_overflow(a, b, &result))
        platform::raise(platform::ErrOverflow);
    return result;
}

std::int32_t product(std::int32_t a, std::int32_t b) {
    std::int32_t result = 0;
    if (__builtin_mul_overflow(a, b, &result))
        platform::raise(platform::ErrOverflow);
    return result;
}

constexpr int kMessageStyle = platform::vbOKOnly | platform::vbExclamation;

} // namespace

bool WriteJpegFile(const cDIBSection& buffer, QString fileName, std::int32_t quality) {
    ijl::JPEG_CORE_PROPERTIES jcprops{};
    if (const ijl::IJLERR code = ijl::ijlInit(&jcprops); code != ijl::IJL_OK) {
        platform::MsgBox(QStringLiteral("Failed to initialise the IJL library: ") +
                             QString::number(code),
                         kMessageStyle, platform::AppTitle);
        return false;
    }
    // Released on every way out, after the failure message if there is one.
    const ijl::FreeOnExit release(jcprops);

    // The buffer's rows lie bottom-up; a negative height tells the library so.
    jcprops.DIBWidth = buffer.Width();
    jcprops.DIBHeight = negated(buffer.Height());
    jcprops.DIBBytes = buffer.DIBSectionBitsPtr();
    jcprops.DIBPadBytes = difference(buffer.BytesPerScanLine(), product(buffer.Width(), 3));

    // The 8-bit name lives until the library is done with it.
    const QByteArray name = platform::encodeName(fileName);
    jcprops.JPGFile = name.constData();
    jcprops.JPGWidth = buffer.Width();
    jcprops.JPGHeight = buffer.Height();
    jcprops.jquality = quality;

    if (ijl::ijlWrite(&jcprops, ijl::IJL_JFILE_WRITEWHOLEIMAGE) == ijl::IJL_OK)
        return true;
    platform::MsgBox(QStringLiteral("Failed to save to JPG"), kMessageStyle, platform::AppTitle);
    return false;
}
