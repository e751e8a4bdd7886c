#include "controls/ColorWithHex.h"

#include <limits>

using platform::ui::Color;

Color ColorWithHex::colorWithHexColorString(const QString& hex)
{
    quint64 value = 0;
    if (!hex.isNull()) {
        int i = 0;
        const int n = int(hex.size());
        while (i < n && hex[i].isSpace())
            ++i;
        if (i + 1 < n && hex[i] == QLatin1Char('0') && (hex[i + 1] == QLatin1Char('x') || hex[i + 1] == QLatin1Char('X'))
            && i + 2 < n && isxdigit(hex[i + 2].toLatin1()))
            i += 2;
        bool saturated = false;
        for (; i < n; ++i) {
            const char c = hex[i].toLatin1();
            if (!isxdigit(static_cast<unsigned char>(c)))
                break;
            const int digit = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
            if (!saturated) {
                value = value * 16 + quint64(digit);
                if (value > std::numeric_limits<quint32>::max()) {
                    saturated = true;
                    value = std::numeric_limits<quint32>::max();
                }
            }
        }
    }
    const quint32 v = quint32(value);
    return Color::calibrated(((v >> 16) & 0xFF) / 255.0, ((v >> 8) & 0xFF) / 255.0, (v & 0xFF) / 255.0, 1.0);
}

Color ColorWithHex::colorWithHexColor(qint32 packed, double alpha)
{
    const quint32 v = quint32(packed);
    return Color::device(((v >> 16) & 0xFF) / 255.0, ((v >> 8) & 0xFF) / 255.0, (v & 0xFF) / 255.0, alpha);
}

Color ColorWithHex::lighterColor(const Color& color)
{
    double h = 0, s = 0, b = 0, a = 0;
    color.getHSB(&h, &s, &b, &a);
    return Color::fromHSB(h, s, std::min(b * 1.3, 1.0), a, Color::Space::SRGB);
}

Color ColorWithHex::darkerColor(const Color& color)
{
    double h = 0, s = 0, b = 0, a = 0;
    color.getHSB(&h, &s, &b, &a);
    return Color::fromHSB(h, s, b * 0.8, a, Color::Space::SRGB);
}

#define PLR_PALETTE(name, hex) \
    Color ColorWithHex::name() { return colorWithHexColorString(QStringLiteral(hex)); }
PLR_PALETTE(smb_blueColour, "219DFF")
PLR_PALETTE(smb_lightBlueColour, "E7F4FF")
PLR_PALETTE(smb_homeBackground, "E5E5E5")
PLR_PALETTE(smb_layoutBackground, "F4F4F4")
PLR_PALETTE(smb_inspectorHeaderGrey, "FFFFFF")
PLR_PALETTE(smb_inspectorDetailGrey, "FAFAFA")
PLR_PALETTE(smb_controlGreyBorder, "E3E2E2")
PLR_PALETTE(smb_breadCrumbGrey, "EDEDED")
PLR_PALETTE(smb_inspectorShadowLine, "C8C8C8")
PLR_PALETTE(smb_controlGrey, "F7F8F9")
PLR_PALETTE(smb_errorRed, "FF3B30")
PLR_PALETTE(smb_grabBorderColour, "72C8F9")
PLR_PALETTE(smb_grabFillColour, "CBE5F3")
PLR_PALETTE(smb_quoteTextColour, "6B7175")
PLR_PALETTE(smb_captionTextColour, "9FA6AA")
PLR_PALETTE(smb_snapColour, "D8E244")
PLR_PALETTE(smb_indicatorGreenColour, "2AC940")
PLR_PALETTE(smb_indicatorYellowColour, "FFBE2F")
PLR_PALETTE(smb_indicatorRedColour, "FF5F58")
PLR_PALETTE(smb_indicatorDarkGreenColour, "2BAC2D")
PLR_PALETTE(smb_indicatorDarkYellowColour, "D8E244")
PLR_PALETTE(smb_indicatorDarkRedColour, "E0A028")
PLR_PALETTE(gradientBlueStartColour, "6AB3FA")
PLR_PALETTE(gradientBlueEndColour, "087FFF")
PLR_PALETTE(gradientGreyStartColour, "FEFEFE")
PLR_PALETTE(gradientGreyEndColour, "F1F1F1")
#undef PLR_PALETTE
