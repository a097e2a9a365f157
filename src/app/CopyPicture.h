#pragma once

#include <QIcon>
#include <QImage>

namespace sarvoli::app {

// The picture of the Copy button: a sheet copied onto another, drawn here so that the
// program needs no image files.
QIcon copyPicture();

// The artwork alone on a transparent square of `size` pixels, as the desktop shows the program.
QImage copyPictureAt(int size);

// The program's picture, the same artwork as a 100 x 100 picture of 16 colours.
QImage programPicture();

}  // namespace sarvoli::app
