// Turns full-colour drawings into 8-bit palette pictures that share one
// palette. Entry 0 is reserved for the near-black of the label and the
// pressed frame; the other entries are quantised from the drawings by
// merging the closest colours (weighted by how many pixels use them) until
// they fit, and every pixel takes its nearest entry, without dithering.
#pragma once

#include <QImage>
#include <QList>
#include <QRgb>

class PaletteBuilder
{
public:
    // entry0: the reserved near-black; entries: how many palette entries the
    // pictures may use in all (entry 0 included); the rest of the 256 are black.
    PaletteBuilder(QRgb entry0, int entries);

    // Adds a drawing (RGB32) whose colours the palette must serve.
    void AddDrawing(const QImage& drawing);
    // Builds the palette from everything added.
    void Build();

    // The drawing as an Indexed8 image on the palette, with the pixels where
    // entryZeroMask is non-zero set to entry 0. Build() must have run.
    QImage Map(const QImage& drawing, const QImage& entryZeroMask) const;

private:
    int Nearest(QRgb colour) const;

    QRgb entry0_;
    int entries_;
    QList<QImage> drawings_;
    QList<QRgb> palette_;
    int used_ = 1; // entries holding drawn colours, entry 0 included
};
