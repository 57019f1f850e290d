// The painting kept when its host would not take it back (a D-Bus host that failed or has gone):
// a rescue copy in the data folder's rescue place. A file host makes its own.
#pragma once
#include <QString>

// Saves the planes as a rescue copy unless the host is a file host. Returns the sentence for the
// painter ("The painting was saved as FILE" or "No rescue copy could be ..."), "" for a file
// host; *saved: the copy's path ("" when none was written).
QString SaveUnsentPainting(QString* saved);
// The same for any host: a file host's copy goes beside its file (or to the data folder's rescue
// place when that cannot be written).
QString KeepPaintingAsRescue(QString* saved);
