#include "platform-ui/Color.h"

#include "platform/Json.h"
#include "platform/Log.h"
#include "platform/Resources.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace platform::ui {

Color Color::fromHSB(double hue, double saturation, double brightness, double alpha, Space space)
{
    hue = hue - std::floor(hue);
    const double v = brightness;
    if (saturation <= 0.0)
        return {v, v, v, alpha, space};
    const double h = hue * 6.0;
    const int sector = static_cast<int>(std::floor(h)) % 6;
    const double f = h - std::floor(h);
    const double p = v * (1.0 - saturation);
    const double q = v * (1.0 - saturation * f);
    const double t = v * (1.0 - saturation * (1.0 - f));
    switch (sector) {
    case 0: return {v, t, p, alpha, space};
    case 1: return {q, v, p, alpha, space};
    case 2: return {p, v, t, alpha, space};
    case 3: return {p, q, v, alpha, space};
    case 4: return {t, p, v, alpha, space};
    default: return {v, p, q, alpha, space};
    }
}

void Color::getHSB(double* hue, double* saturation, double* brightness, double* alpha) const
{
    const double maxC = std::max({m_red, m_green, m_blue});
    const double minC = std::min({m_red, m_green, m_blue});
    const double delta = maxC - minC;
    double h = 0.0;
    if (delta > 0.0) {
        if (maxC == m_red)
            h = (m_green - m_blue) / delta;
        else if (maxC == m_green)
            h = 2.0 + (m_blue - m_red) / delta;
        else
            h = 4.0 + (m_red - m_green) / delta;
        h /= 6.0;
        if (h < 0.0)
            h += 1.0;
    }
    if (hue) *hue = h;
    if (saturation) *saturation = maxC > 0.0 ? delta / maxC : 0.0;
    if (brightness) *brightness = maxC;
    if (alpha) *alpha = m_alpha;
}

Color Color::fromHexText(const QString& text, bool* ok)
{
    QString hex = text.trimmed();
    if (hex.startsWith(QLatin1Char('#')))
        hex.remove(0, 1);
    bool parsed = false;
    const uint value = hex.toUInt(&parsed, 16);
    if (!parsed || (hex.size() != 6 && hex.size() != 8)) {
        if (ok) *ok = false;
        return {0, 0, 0, -1};
    }
    if (ok) *ok = true;
    if (hex.size() == 6)
        return {((value >> 16) & 0xFF) / 255.0, ((value >> 8) & 0xFF) / 255.0, (value & 0xFF) / 255.0, 1.0};
    return {((value >> 24) & 0xFF) / 255.0, ((value >> 16) & 0xFF) / 255.0, ((value >> 8) & 0xFF) / 255.0,
            (value & 0xFF) / 255.0};
}

QColor Color::toQColor() const
{
    auto clamp = [](double v) { return std::clamp(v, 0.0, 1.0); };
    return QColor::fromRgbF(float(clamp(m_red)), float(clamp(m_green)), float(clamp(m_blue)), float(clamp(m_alpha)));
}

QString Color::toString() const
{
    return QStringLiteral("Color(%1, %2, %3, %4)").arg(m_red).arg(m_green).arg(m_blue).arg(m_alpha);
}

Color Color::interpolate(const Color& from, const Color& to, double f)
{
    return {from.m_red + (to.m_red - from.m_red) * f, from.m_green + (to.m_green - from.m_green) * f,
            from.m_blue + (to.m_blue - from.m_blue) * f, from.m_alpha + (to.m_alpha - from.m_alpha) * f,
            from.m_space};
}

namespace {

struct NamedColors {
    QHash<QString, Color> colors;
    QSet<QString> reportedMissing;
    std::mutex mutex;

    NamedColors()
    {
        Error error;
        const QVariant root = json::parse(resources::data(QStringLiteral("colors.json")), false, &error);
        const QVariantMap map = root.toMap();
        if (map.isEmpty())
            PLR_LOG_ERROR(QStringLiteral("Named colours could not be read: %1").arg(error.toString()));
        for (auto it = map.begin(); it != map.end(); ++it) {
            bool ok = false;
            const Color color = Color::fromHexText(it.value().toString(), &ok);
            if (ok)
                colors.insert(it.key(), color);
            else
                PLR_LOG_WARN(QStringLiteral("Named colour %1 has an unreadable value %2")
                                 .arg(it.key(), it.value().toString()));
        }
    }
    static NamedColors& shared()
    {
        static NamedColors instance;
        return instance;
    }
};

} // namespace

Color namedColor(const QString& name)
{
    auto& named = NamedColors::shared();
    std::lock_guard lock(named.mutex);
    const auto it = named.colors.constFind(name);
    if (it != named.colors.cend())
        return *it;
    if (!named.reportedMissing.contains(name)) {
        named.reportedMissing.insert(name);
        PLR_LOG_WARN(QStringLiteral("Missing named colour %1").arg(name));
    }
    return Color::clear();
}

bool hasNamedColor(const QString& name)
{
    auto& named = NamedColors::shared();
    std::lock_guard lock(named.mutex);
    return named.colors.contains(name);
}

} // namespace platform::ui
