#pragma once

#include "platform/picture/picture.h"

#include <QWidget>
#include <utility>

namespace platform {

// A picture box: a control that holds a picture. The program uses it hidden, as the place where a
// loaded picture is kept, so it draws nothing.
class PictureBox : public QWidget {
public:
    explicit PictureBox(QWidget* parent = nullptr) : QWidget(parent) {}

    const PictureDisp& Picture() const noexcept { return picture_; }
    void setPicture(PictureDisp picture) noexcept { picture_ = std::move(picture); }

private:
    PictureDisp picture_;
};

} // namespace platform
