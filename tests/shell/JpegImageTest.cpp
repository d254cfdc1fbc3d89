// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: JPEG decoding of pictures made here with libjpeg's compressor, cut short and scrambled.
#include "shell/JpegImage.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>

#include <jpeglib.h>

namespace {
// A w x h picture: left half red, right half blue.
QByteArray EncodeJpeg(int w, int h)
{
    jpeg_compress_struct info {};
    jpeg_error_mgr errors {};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(w);
    info.image_height = JDIMENSION(h);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row(size_t(w) * 3);
    for (int x = 0; x < w; ++x) {
        row[size_t(x) * 3] = x < w / 2 ? 255 : 0;
        row[size_t(x) * 3 + 1] = 0;
        row[size_t(x) * 3 + 2] = x < w / 2 ? 0 : 255;
    }
    while (info.next_scanline < info.image_height) {
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&info, &p, 1);
    }
    jpeg_finish_compress(&info);
    QByteArray out(reinterpret_cast<const char *>(buffer), qsizetype(size));
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}
} // namespace

TEST(JpegImage, DecodesAPicture)
{
    const QImage image = JpegImage::Decode(EncodeJpeg(64, 32));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(64, 32));
    const QColor left = image.pixelColor(8, 16), right = image.pixelColor(56, 16);
    EXPECT_GT(left.red(), 200);
    EXPECT_LT(left.blue(), 60);
    EXPECT_GT(right.blue(), 200);
    EXPECT_LT(right.red(), 60);

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile f(dir.filePath("bg.jpg"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(EncodeJpeg(16, 16));
    f.close();
    EXPECT_EQ(JpegImage::LoadPicture(dir.filePath("bg.jpg")).size(), QSize(16, 16));
    EXPECT_TRUE(JpegImage::LoadPicture(dir.filePath("missing.jpg")).isNull());
}

TEST(JpegImage, SurvivesTruncationAndGarbage)
{
    const QByteArray jpeg = EncodeJpeg(40, 24);
    for (qsizetype n = 0; n < jpeg.size(); n += 7) {
        const QImage image = JpegImage::Decode(jpeg.left(n));
        if (!image.isNull()) {
            EXPECT_EQ(image.size(), QSize(40, 24)) << "cut at " << n;
        }
    }
    QRandomGenerator rng(99);
    for (int round = 0; round < 1500; ++round) {
        QByteArray bytes = jpeg;
        const int flips = 1 + rng.bounded(10);
        for (int i = 0; i < flips; ++i) bytes[rng.bounded(int(bytes.size()))] = char(rng.bounded(256));
        (void)JpegImage::Decode(bytes);
    }
    EXPECT_TRUE(JpegImage::Decode(QByteArray("\xFF\xD8garbage", 9)).isNull());
    EXPECT_TRUE(JpegImage::Decode(QByteArray()).isNull());
}
