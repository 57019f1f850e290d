// A PNG file's chunks as they stand in its bytes: what the file host keeps of a PNG besides its
// pixels (image_extras) and what it checks before decoding one (image_checks) both walk them.
#pragma once
#include <QByteArray>
#include <QList>
#include <cstdint>

inline constexpr char kPngSignature[] = "\x89PNG\r\n\x1a\n";

// The big-endian 32-bit number at byte p (p + 4 within b).
uint32_t PngNumber(const QByteArray& b, qsizetype p);

// A chunk, from its length field to its CRC.
struct PngChunk {
    QByteArray type;
    qsizetype at = 0, size = 0;
};

// The chunks of png in order, up to and with IEND (or, with toPixels, the first IDAT, reached
// even when the file ends inside it). False when the list runs past the end of the bytes or
// stops before that; *chunks then holds those before the damage.
bool PngChunks(const QByteArray& png, QList<PngChunk>* chunks, bool toPixels = false);
