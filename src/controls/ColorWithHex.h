#pragma once

#include "platform-ui/Color.h"

#include <QString>

// The application's fixed hex palette and its colour helpers.
struct ColorWithHex {
    using Color = platform::ui::Color;

    // A six-digit RRGGBB string to a calibrated RGB colour with alpha 1. The string is scanned
    // as hexadecimal (leading white space skipped, optional 0x, stops at the first non-digit,
    // saturating above 32 bits); bits 24-31 are ignored. A null, empty or unreadable string is black.
    static Color colorWithHexColorString(const QString& hex);
    // A packed 0xRRGGBB integer (only the low 24 bits count) to a device RGB colour.
    static Color colorWithHexColor(qint32 packed, double alpha);
    // Brightness times 1.3 (at most 1.0) / times 0.8; hue, saturation and alpha kept.
    static Color lighterColor(const Color& color);
    static Color darkerColor(const Color& color);

    static Color smb_blueColour();
    static Color smb_lightBlueColour();
    static Color smb_homeBackground();
    static Color smb_layoutBackground();
    static Color smb_inspectorHeaderGrey();
    static Color smb_inspectorDetailGrey();
    static Color smb_controlGreyBorder();
    static Color smb_breadCrumbGrey();
    static Color smb_inspectorShadowLine();
    static Color smb_controlGrey();
    static Color smb_errorRed();
    static Color smb_grabBorderColour();
    static Color smb_grabFillColour();
    static Color smb_quoteTextColour();
    static Color smb_captionTextColour();
    static Color smb_snapColour();
    static Color smb_indicatorGreenColour();
    static Color smb_indicatorYellowColour();
    static Color smb_indicatorRedColour();
    static Color smb_indicatorDarkGreenColour();
    static Color smb_indicatorDarkYellowColour();
    static Color smb_indicatorDarkRedColour();
    static Color gradientBlueStartColour();
    static Color gradientBlueEndColour();
    static Color gradientGreyStartColour();
    static Color gradientGreyEndColour();
};
