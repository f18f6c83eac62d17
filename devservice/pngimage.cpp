#include "devservice/pngimage.h"

#include <QtEndian>

#include <zlib.h>

namespace devsvc {

namespace {

void appendChunk(QByteArray &png, const char *type, const QByteArray &data)
{
    char len[4];
    qToBigEndian(quint32(data.size()), len);
    png.append(len, 4);
    QByteArray body(type, 4);
    body.append(data);
    png.append(body);
    char crc[4];
    qToBigEndian(quint32(crc32(0, reinterpret_cast<const Bytef *>(body.constData()), uInt(body.size()))), crc);
    png.append(crc, 4);
}

} // namespace

QByteArray solidPng(int width, int height, quint8 red, quint8 green, quint8 blue)
{
    QByteArray header(13, '\0');
    qToBigEndian(quint32(width), header.data());
    qToBigEndian(quint32(height), header.data() + 4);
    header[8] = 8; // bit depth
    header[9] = 2; // colour type RGB
    QByteArray raw;
    raw.reserve(height * (1 + width * 3));
    for (int y = 0; y < height; ++y) {
        raw.append('\0'); // filter: none
        for (int x = 0; x < width; ++x) {
            raw.append(char(red));
            raw.append(char(green));
            raw.append(char(blue));
        }
    }
    uLongf size = compressBound(uLong(raw.size()));
    QByteArray packed(int(size), '\0');
    if (compress(reinterpret_cast<Bytef *>(packed.data()), &size, reinterpret_cast<const Bytef *>(raw.constData()),
                 uLong(raw.size())) != Z_OK)
        return QByteArray();
    packed.resize(int(size));
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", packed);
    appendChunk(png, "IEND", QByteArray());
    return png;
}

} // namespace devsvc
