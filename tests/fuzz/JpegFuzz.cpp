// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: fuzz harness of the JPEG decoder: any input decodes or is refused without decoding a
// picture beyond the limit, and what decodes has the size Qt's own JPEG reader gives it.
#include "FuzzCheck.h"

#include "shell/JpegImage.h"

#include <QBuffer>
#include <QImageReader>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = Fuzz::Bytes(data, size);
    QString why;
    const QImage image = JpegImage::Decode(bytes, &why);
    if (image.isNull())
        return 0;
    FUZZ_CHECK(why.isEmpty());
    FUZZ_CHECK(qint64(image.width()) * image.height() <= JpegImage::MaxPixels);
    FUZZ_CHECK(image.format() == QImage::Format_RGB32);
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    const QSize header = reader.size();
    FUZZ_CHECK(!header.isValid() || header == image.size());
    return 0;
}
