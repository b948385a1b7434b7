#pragma once
// A colour box: a drop-down of the standard and extended named colours, each with its swatch.
// A colour that is not among them is added as "RGB " + six hexadecimal digits and stays in the
// box for later openings.

#include <QComboBox>

#include "session/color_helpers.h"

class TColorBox : public QComboBox {
public:
    explicit TColorBox(QWidget* AParent);

    // Selects the entry of exactly AColor, adding an "RGB ..." entry when there is none.
    void UpdateColorBox(TColor AColor);
    // Colour of the selected entry.
    TColor SelectedColor() const;
};
