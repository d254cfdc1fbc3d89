// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: JPEG decoding of pictures made here with libjpeg's compressor, cut short and scrambled.
#include "shell/JpegImage.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>

#include <jpeglib.h>
#include <sys/resource.h>

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
// PNG's chunk check (ISO 3309 CRC-32) over the chunk's type and data.
quint32 Crc32(const QByteArray &bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (char c : bytes) {
        crc ^= uchar(c);
        for (int k = 0; k < 8; ++k)
            crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
}

// The highest resident size this process has had, in kilobytes.
long PeakKilobytes()
{
    struct rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

QByteArray Corpus(const char *name)
{
    QFile f(QStringLiteral(VASKIMO_FIXTURES "/../fuzz/corpus/jpeg/") + QLatin1String(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
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

// A few hundred bytes whose header claims 16384 x 16384 pixels took 1.86 GB to show. Such a
// picture is refused from its header, and says why; the largest screen's picture still shows.
TEST(JpegImage, PicturesBeyondTheLimitAreRefusedBeforeDecoding)
{
    const QByteArray huge = Corpus("header-claims-16384-by-16384.jpg");
    ASSERT_FALSE(huge.isEmpty());
    ASSERT_LT(huge.size(), 1024);
    const long before = PeakKilobytes();
    QString why;
    EXPECT_TRUE(JpegImage::Decode(huge, &why).isNull());
    EXPECT_LT(PeakKilobytes() - before, 64 * 1024);
    EXPECT_EQ(why, "it is 16384 x 16384 pixels; a picture may have at most 32 million pixels");

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile jpeg(dir.filePath("huge.jpg"));
    ASSERT_TRUE(jpeg.open(QIODevice::WriteOnly) && jpeg.write(huge) == huge.size());
    jpeg.close();
    EXPECT_TRUE(JpegImage::LoadPicture(jpeg.fileName(), &why).isNull());
    EXPECT_EQ(why, "The picture \"" + jpeg.fileName() + "\" is not shown: it is 16384 x 16384 pixels; a picture may have at most 32 million pixels.");
    // Other formats the same: a PNG whose header claims 20000 x 20000.
    QByteArray png;
    {
        QBuffer out(&png);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        QImage dot(1, 1, QImage::Format_RGB32);
        dot.fill(Qt::red);
        ASSERT_TRUE(dot.save(&out, "PNG"));
    }
    const QByteArray side = QByteArray::fromHex("00004e20");
    png.replace(16, 4, side).replace(20, 4, side);
    const quint32 crc = Crc32(png.mid(12, 17));
    for (int i = 0; i < 4; ++i)
        png[29 + i] = char(crc >> (24 - 8 * i));
    QFile picture(dir.filePath("huge.png"));
    ASSERT_TRUE(picture.open(QIODevice::WriteOnly) && picture.write(png) == png.size());
    picture.close();
    EXPECT_TRUE(JpegImage::LoadPicture(picture.fileName(), &why).isNull());
    EXPECT_TRUE(why.contains("it is 20000 x 20000 pixels")) << why.toStdString();

    const QImage screen = JpegImage::Decode(EncodeJpeg(7680, 4320), &why);
    EXPECT_EQ(screen.size(), QSize(7680, 4320));
    EXPECT_TRUE(why.isEmpty());
}
