// The embedded host for an image file named on a command line: the rules for a new canvas, the
// paper and the wallpaper that marlo and tarnwick-host share.
#pragma once
#include <QString>
#include <memory>

#include "app/qt/command_line.h"
#include "host/qt/file_host.h"

// The size of the new white canvas made when the command line names no image.
constexpr int kNewCanvasWidth = 1024;
constexpr int kNewCanvasHeight = 768;

// The file host for the command line's image, paper and wallpaper. On failure returns null and
// a one-line reason; *notice gets a line to print at start (a new canvas, a lossy format, a file
// deeper than 8 bits, what the file carries that cannot be written back).
std::shared_ptr<FileHost> MakeHost(const CommandLine& cl, QString* error, QString* notice);
// The temporary files a Marlo killed while writing a rescue copy left in the data folder's
// rescue place and the temporary folder (those beside an image go when MakeHost opens it).
void RemoveTemporaryFilesLeftInRescuePlaces();
