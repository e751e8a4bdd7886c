#pragma once

#include <QProxyStyle>

// The application's widget style: Fusion, except that the overflow arrows of the menu bar and
// tool bars are read only when one is first drawn. Fusion reads them from image files when a
// bar is made, and the first image read loads every image-format plugin; a bar shows its arrow
// only when it overflows, so a launch need not pay for it.
// A tall scroll bar is drawn in bands of kScrollBarBandRows rows: Qt's raster engine hands a fill
// of more than about a hundred rows (a tall bar's groove) to its thread pool and waits for it, and
// on a busy machine a scrolled frame waited that long for those threads. The pixels are the same.
class PLRLightStyle : public QProxyStyle {
    Q_OBJECT
public:
    // Fusion as the base style (Qt's default style when Fusion is missing).
    PLRLightStyle();

    QIcon standardIcon(StandardPixmap which, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget = nullptr) const override;

    static constexpr int kScrollBarBandRows = 32;
};
