// The painting kept when its host would not take it back (a D-Bus host that failed or has gone):
// a rescue copy in the data folder's rescue place. A file host makes its own.
#pragma once
#include <QString>

// After a write-back that failed with `why`: saves the planes as a rescue copy unless the file
// host's own write failed (it made its copy and said so). Returns the sentence for the painter
// ("The painting was saved as FILE" or "No rescue copy could be ..."), "" when the file host
// spoke; *saved: the copy's path, the file host's too ("" when none could be written).
QString SaveUnsentPainting(const QString& why, QString* saved);
// The same for any host: a file host's copy goes beside its file (or to the data folder's rescue
// place when that cannot be written).
QString KeepPaintingAsRescue(QString* saved);
