// The image crossing the host boundary: Get image, Send image, Get paper, and the write-back
// on closing. Host calls may throw HostError; see each function for what stays changed.
#pragma once
#include "core/plane.h"

void GetImage();            // the host's image replaces the canvas's (one undo step first)
void GetPaperMenu_Click();  // Options, Get paper
// Their second halves, once the planes are fetched and checked (the journal's replay runs
// them too): planes of the canvas's size; any paper.
void TakeImage(Plane r, Plane g, Plane b);
void TakePaper(Plane paper);

// Send image, and the write-back on closing: Tarn_SaveUndo, the three set calls, tarn_Refresh.
void WriteImageBack();
