// The image crossing the host boundary: Get image, Send image, Get paper, and the write-back
// on closing. Host calls may throw HostError; see each function for what stays changed.
#pragma once

void kt_button3_Click();   // Get image from the host (one undo step first)
void kt_button4_Click();   // Send image to the host
void GetPaperMenu_Click(); // Options, Get paper

// Writing back, as Send image and closing do: Tarn_SaveUndo, the three set calls, tarn_Refresh.
void WriteImageBack();
