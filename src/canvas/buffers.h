// The image planes of the program state: clearing, the coverage clear, and corner ordering.
#pragma once
#include <cstdint>
#include "core/rect.h"

void SortPair(float& a, float& b);
// Sizes the seven image planes to BufferWidth x BufferHeight, all bytes 0.
void AllocateBuffers();
// The display copy (RBase, GBase, BBase) becomes a copy of the image.
void DisplayCopyFollowsImage();
// The image becomes white; coverage 0; the display copy follows the image.
void clearbuffer();
// Clears coverage over the rectangle with corners (x1, y1), (x2, y2), both included.
void ClearFXbuffer(float x1, float y1, float x2, float y2);

// The part of the coverage ClearFXbuffer clears for these corners, far ends exclusive; false
// when it clears nothing.
bool CoverageClearArea(float x1, float y1, float x2, float y2, Rect* rows);
// Clears columns left .. right - 1 of coverage row y.
void ClearCoverageRow(int32_t y, int32_t left, int32_t right);
