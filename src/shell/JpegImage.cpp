// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: JPEG decoding over jpeglib.h into a QImage.
#include "shell/JpegImage.h"

#include <QFile>

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

} // namespace

namespace JpegImage {

QImage Decode(const QByteArray &data)
{
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
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK || info.image_width == 0 || info.image_height == 0 ||
        info.image_width > kMaxSide || info.image_height > kMaxSide) {
        jpeg_destroy_decompress(&info);
        return {};
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    if (info.output_components != 3) {
        jpeg_destroy_decompress(&info);
        return {};
    }
    image = new QImage(int(info.output_width), int(info.output_height), QImage::Format_RGB888);
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
    QImage result = image->convertToFormat(QImage::Format_RGB32);
    delete image;
    return result;
}

QImage LoadPicture(const QString &hostPath)
{
    QFile file(hostPath);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxPictureFile)
        return {};
    const QByteArray data = file.readAll();
    if (data.startsWith("\xFF\xD8"))
        return Decode(data);
    return QImage::fromData(data);
}

} // namespace JpegImage
