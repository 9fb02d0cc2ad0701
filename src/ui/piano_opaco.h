// A plot whose picture is laid on the screen as it is. The plot paints its
// layers on a transparent sheet, and every frame the widget fills itself with
// the background and then blends that sheet over it, pixel by pixel: at sixty
// frames a second, a tenth of a frame's cost for nothing a coach sees. Here
// the background is the sheet's first layer, so the sheet is opaque (an image
// without an alpha channel, which the background's fill clears) and the
// widget only copies it. A background that is not one opaque colour is left
// to the plot's own way.
#pragma once

#include <qcustomplot.h>

namespace vexa {

class PianoOpaco : public QCustomPlot {
public:
    explicit PianoOpaco(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    class Sfondo;
    class Foglio;
    bool sfondo_opaco() const;
};

} // namespace vexa
