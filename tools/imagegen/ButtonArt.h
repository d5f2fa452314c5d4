// The picture of a panel button: the lit metal face, the pictogram at the
// left end and the label right of it, and the pressed frame of the down
// picture.
#pragma once

#include <QImage>
#include <QPoint>
#include <QSize>

class ButtonArt
{
public:
    static constexpr QSize kSize{120, 40};
    // Where the 32 x 32 pictogram map goes.
    static constexpr QPoint kPictogramAt{5, 4};
    // Label: first row of the 16-pixel glyph cells, and the column the ink is
    // centred on (the middle of the part right of the pictogram).
    static constexpr int kLabelTop = 12;
    static constexpr double kLabelCentre = 77.5;
    // Width of the pressed frame.
    static constexpr int kFrame = 2;

    // The bare face, RGB32: a grey plate lit from the top left with a fine
    // horizontal brushed grain. The same for every button.
    static QImage Face();
    // Face plus the pictogram (ARGB32, transparent where the face shows) with
    // a faint shadow below and right of it, RGB32. The label is not drawn:
    // it goes straight into palette entry 0.
    static QImage Drawing(const QImage& pictogram);
    // The down picture of an Indexed8 up picture: the frame set to entry 0.
    static QImage Pressed(const QImage& up);
};
