// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: JPEG decoding over jpeglib.h into a QImage.
#include "shell/JpegImage.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace {

constexpr qint64 kMaxPictureFile = 64 * 1024 * 1024;
constexpr JDIMENSION kMaxSide = 16384;

struct TErrorManager {
    jpeg_error_mgr Base;
    std::jmp_buf Jump;
};

// libjpeg calls this for a fatal error and expects it not to return.
void ErrorExit(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<TErrorManager *>(info->err)->Jump, 1);
}

void NoMessage(j_common_ptr) {}

QString TooLarge(qint64 width, qint64 height)
{
    return QStringLiteral("it is %1 x %2 pixels; a picture may have at most %3 million pixels")
        .arg(width)
        .arg(height)
        .arg(JpegImage::MaxPixels / (1024 * 1024));
}

// Decoded straight into the layout of QImage::Format_RGB32: no second copy of the picture.
#if defined(JCS_EXTENSIONS) && Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr J_COLOR_SPACE kOutSpace = JCS_EXT_BGRX;
constexpr QImage::Format kOutFormat = QImage::Format_RGB32;
constexpr int kOutComponents = 4;
#else
constexpr J_COLOR_SPACE kOutSpace = JCS_RGB;
constexpr QImage::Format kOutFormat = QImage::Format_RGB888;
constexpr int kOutComponents = 3;
#endif

} // namespace

namespace JpegImage {

QImage Decode(const QByteArray &data, QString *why)
{
    if (why)
        why->clear();
    if (data.size() < 4)
        return {};
    jpeg_decompress_struct info {};
    TErrorManager errors {};
    info.err = jpeg_std_error(&errors.Base);
    errors.Base.error_exit = ErrorExit;
    errors.Base.output_message = NoMessage;
    // Only plain data lives across the jump: the image is built after the last libjpeg call that may fail.
    QImage *volatile image = nullptr;
    if (setjmp(errors.Jump)) {
        jpeg_destroy_decompress(&info);
        delete image;
        return {};
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char *>(data.constData()), static_cast<unsigned long>(data.size()));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK || info.image_width == 0 || info.image_height == 0) {
        jpeg_destroy_decompress(&info);
        return {};
    }
    if (info.image_width > kMaxSide || info.image_height > kMaxSide
        || qint64(info.image_width) * qint64(info.image_height) > MaxPixels) {
        if (why)
            *why = TooLarge(info.image_width, info.image_height);
        jpeg_destroy_decompress(&info);
        return {};
    }
    info.out_color_space = kOutSpace;
    jpeg_start_decompress(&info);
    if (info.output_components != kOutComponents) {
        jpeg_destroy_decompress(&info);
        return {};
    }
    image = new QImage(int(info.output_width), int(info.output_height), kOutFormat);
    if (image->isNull()) {
        jpeg_destroy_decompress(&info);
        delete image;
        return {};
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image->scanLine(int(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    QImage result = kOutFormat == QImage::Format_RGB32 ? *image : image->convertToFormat(QImage::Format_RGB32);
    delete image;
    return result;
}

QImage LoadPicture(const QString &hostPath, QString *why)
{
    const auto refused = [&](const QString &text) {
        if (why)
            *why = QStringLiteral("The picture \"%1\" is not shown: %2.").arg(hostPath, text);
        return QImage();
    };
    if (why)
        why->clear();
    QFile file(hostPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    if (file.size() > kMaxPictureFile)
        return refused(QStringLiteral("the file is larger than %1 MB").arg(kMaxPictureFile / (1024 * 1024)));
    const QByteArray data = file.readAll();
    if (data.startsWith("\xFF\xD8")) {
        QString tooLarge;
        const QImage image = Decode(data, &tooLarge);
        return tooLarge.isEmpty() ? image : refused(tooLarge);
    }
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > int(kMaxSide) || size.height() > int(kMaxSide)
                           || qint64(size.width()) * size.height() > MaxPixels))
        return refused(TooLarge(size.width(), size.height()));
    return reader.read();
}

} // namespace JpegImage
