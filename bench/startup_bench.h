// Start-up through the embedded file host: reading a 4096 x 4096 PNG file, Main, and the
// canvas window's first paint.
#pragma once

struct StartupFigures {
    double totalMs = 0;  // from reading the file to the end of the first paint
    double loadMs = 0;   // reading the file into the host
};

// The median of the given number of start-ups.
StartupFigures MeasureStartup(int runs);

// A large picture opened and written back: a photo-like PNG of size x size pixels that the
// benchmark makes itself, read through the embedded file host to the first paint (startMs),
// and after one changed pixel, the write-back a close makes (closeMs: the encode, the backup
// and the file written).
struct LargeImageFigures {
    double startMs = 0;
    double closeMs = 0;
};
LargeImageFigures MeasureLargeImage(int size);
