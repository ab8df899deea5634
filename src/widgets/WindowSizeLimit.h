#pragma once
// Holds a window to a minimum and maximum size (in pixels). One window at a
// time can be limited; every SetMinMax is paired with one UnloadMinMax.

class QWidget;

namespace fetchora {

void SetMinMax(QWidget *frm, const int &MinWidth, const int &MinHeight, const int &MaxWidth, const int &MaxHeight);
void UnloadMinMax(QWidget *frm);

// The limits stored by the last SetMinMax (kept after UnloadMinMax).
struct MinMaxLimits {
    int minWidth = 0, minHeight = 0, maxWidth = 0, maxHeight = 0;
    bool installed = false;
};
MinMaxLimits currentMinMax();

}  // namespace fetchora
