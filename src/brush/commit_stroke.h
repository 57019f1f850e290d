// The release of a stroke: the undo step of the dirty rectangle, the stroke merged into the
// image, and the coverage cleared.
#pragma once

// The same bytes as PushUndo, RenderSegment(2, ...) and ClearFXbuffer over the same corners one
// after the other, in one pass over the rows: each image row is saved and then mixed while it
// is still in the cache, and each coverage row is cleared once the rows that read it for their
// relief are done.
void CommitStroke(float x1, float y1, float x2, float y2);
