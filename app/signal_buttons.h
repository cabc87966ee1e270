#pragma once
// The "Signal" open and save buttons that head the Fourier and wavelet pages.
#include <QPushButton>

namespace kelvora {

// Creates the open button `openName` (tool tip: the sample rate followed by " Hz") and the save button `saveName`
// (disabled until there is a filtered signal), both captioned "Signal", as children of `parent`.
void MakeSignalButtons(QWidget* parent, const char* openName, const char* saveName, int sampleRateHz,
                       QPushButton*& open, QPushButton*& save);

}  // namespace kelvora
