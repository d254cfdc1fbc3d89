// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: JPEG pictures through libjpeg-turbo's decompression interface, and the background picture loader.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace JpegImage {
// A picture may hold this many pixels at most (an 8K screen's worth): a few bytes of header can
// claim 16384 x 16384, and decoding that would take gigabytes. Larger ones are refused before
// anything is decoded.
constexpr qint64 MaxPixels = 32LL * 1024 * 1024;

// A null image for anything that is no complete JPEG or is larger than MaxPixels; a damaged file
// never ends the program. *why: the reason when it is too large, else empty.
QImage Decode(const QByteArray &data, QString *why = nullptr);
// JPEG (by its signature) through Decode, any other picture through QImage, with the same limit.
// Null on failure; *why says so when the picture or its file is refused for its size.
QImage LoadPicture(const QString &hostPath, QString *why = nullptr);
}
