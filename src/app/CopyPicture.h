#pragma once

#include <QIcon>

namespace sarvoli::app {

// The picture of the Copy button: a sheet copied onto another, drawn here so that the
// program needs no image files.
QIcon copyPicture();

}  // namespace sarvoli::app
