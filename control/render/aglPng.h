// aglPng: a PNG file of an image, written for speed rather than the smallest
// size (the data area's image of a vector picture, which goes into the file
// once and is opened by the viewer at once, and agltool's pictures): 8-bit
// RGBA, or RGB for an image without alpha, each row with the "Up" or the
// "Sub" filter, deflated at the given zlib level (1 fastest). A picture's
// shaded surface comes out about a third larger than at zlib's default
// level with every filter tried, in a quarter of the time. Pure; any thread.
#pragma once

#include <QByteArray>
#include <QImage>

// The PNG file's bytes; empty when the image is null or the encoder fails.
QByteArray aglEncodePng(const QImage& image, int level = 2);
