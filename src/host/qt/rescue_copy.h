// The painting saved where it can be found when its own file cannot take it: a PNG named after
// the image (NAME.marlo-rescue.png, NAME.marlo-rescue-N.png) in the image's folder, else in
// $XDG_DATA_HOME/marlo/rescue, else in the temporary folder.
#pragma once
#include <QString>

#include "host/qt/image_file.h"

// Writes doc's pixels there. Returns the file's path, or "" with the end of a sentence in *why
// after "No rescue copy could be": "made either (reason)", or "written either (...)" with
// each place tried and the reason it refused.
QString WriteRescueCopy(const ImageDocument& doc, QString* why);
// $XDG_DATA_HOME/marlo/rescue (or ~/.local/share/marlo/rescue).
QString RescueFolderOfData();
