#pragma once

#include <QString>
#include <cstdint>

class cDIBSection;

// Encodes the picture in buffer (which must hold one, see cDIBSection::CreateFromPicture) into
// the JPEG file fileName at quality 1 (the smallest file) to 100 (the best picture), replacing
// an earlier file of that name. True only when the whole picture was written; a failure of the
// JPEG library is shown in a message box and gives false, leaving any earlier file as it was.
// An error raised while the library's record is filled (an overflow of the buffer's sizes, 6)
// passes to the caller without a message.
bool WriteJpegFile(const cDIBSection& buffer, QString fileName, std::int32_t quality);
