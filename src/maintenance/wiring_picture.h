#pragma once
// The calibration tab's pictures, drawn by the program: a 600 x 400 wiring scene (a laboratory
// supply feeding the unit's input, the unit's output terminals and a reference meter with current,
// voltage and common jacks), the wiring hints drawn over it for the chosen point, and a small
// thermometer shown for the temperature point.

#include <QImage>
#include <QPoint>
#include <vector>

// Which wires to draw over the scene.
enum TWiringHint { whNone, whInputVoltage, whOutputVoltage, whOutputCurrent };

struct TWiringPolylines {
    std::vector<QPoint> Red;
    std::vector<QPoint> Black;
};

// The polylines of a hint (both empty for whNone).
TWiringPolylines WiringPolylines(TWiringHint AHint);

// The plain scene, 600 x 400.
QImage CalibrationScene();
// The scene with a hint drawn over it: a solid pen 6 pixels wide, first red, then black.
QImage CalibrationPicture(TWiringHint AHint);
// A thermometer against the unit's case, 90 x 150.
QImage ThermometerPicture();
