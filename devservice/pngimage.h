#pragma once

#include <QByteArray>

namespace devsvc {

// A PNG of one colour (8-bit RGB), for thumbnails.
QByteArray solidPng(int width, int height, quint8 red, quint8 green, quint8 blue);

} // namespace devsvc
