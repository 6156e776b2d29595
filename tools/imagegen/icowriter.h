#pragma once

#include <QByteArray>
#include <QList>
#include <QImage>

// Packs square images into a Windows icon file: the icon directory, one
// entry per image, then each image as a 32-bit device-independent bitmap
// (colour rows bottom-up in BGRA, followed by the 1-bit transparency mask).
// Images must be at most 256 pixels wide; they are converted to 32 bits.
QByteArray writeIco(const QList<QImage> &images);
