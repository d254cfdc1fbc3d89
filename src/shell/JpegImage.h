// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: JPEG pictures through libjpeg-turbo's decompression interface, and the background picture loader.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace JpegImage {
// A null image for anything that is no complete JPEG; a damaged file never ends the program.
QImage Decode(const QByteArray &data);
// JPEG (by its signature) through Decode, any other picture through QImage. Null on failure.
QImage LoadPicture(const QString &hostPath);
}
