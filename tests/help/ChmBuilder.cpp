// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the sample help file of the help tests.
#include "ChmBuilder.h"

#include <QBuffer>
#include <QImage>

namespace TestSupport {
namespace {

QByteArray SamplePng()
{
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(QColor(0x20, 0x80, 0xE0));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

} // namespace

TChmBuilder TChmBuilder::Sample()
{
    TChmBuilder b;
    b.System(QStringLiteral("index.htm"), QStringLiteral("Vaskimo Help"));
    b.ContextMap({{13, QStringLiteral("tools/registry.htm")}, {17, QStringLiteral("undo.htm")}});
    b.Add(QStringLiteral("/index.htm"),
          "<html><head><title>Welcome</title></head><body><h1>Welcome to the help</h1>"
          "<p><a href=\"undo.htm\">Undo</a></p></body></html>");
    b.Add(QStringLiteral("/tools/registry.htm"),
          "<html><head><title>Registry</title><link rel=\"stylesheet\" type=\"text/css\" href=\"../help.css\"></head>"
          "<body><h1 class=\"big\">Registry cleaner</h1><p><img src=\"../pictures/dot.png\" width=\"4\" "
          "height=\"3\"></p></body></html>");
    b.Add(QStringLiteral("/undo.htm"), "<html><body><p>Undo files</p></body></html>");
    b.Add(QStringLiteral("/help.css"), "h1.big { color: #123456; }");
    b.Add(QStringLiteral("/pictures/dot.png"), SamplePng());
    return b;
}

} // namespace TestSupport
