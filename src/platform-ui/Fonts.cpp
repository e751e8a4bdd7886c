#include "platform-ui/Fonts.h"

#include "platform/Log.h"
#include "platform/Resources.h"

#include <QFontDatabase>
#include <QResource>

#include <cmath>

namespace platform::ui {

namespace fonts {

void registerBundledFonts()
{
    static const bool done = [] {
        resources::initialize();
        for (const char* file : {":/fonts/DejaVuSans.ttf", ":/fonts/DejaVuSans-Bold.ttf"}) {
            const QString name = QString::fromLatin1(file);
            // Stored uncompressed in the executable: handed over where it lies, not copied out.
            const QResource resource(name);
            const int id = resource.isValid() && resource.compressionAlgorithm() == QResource::NoCompression
                ? QFontDatabase::addApplicationFontFromData(
                      QByteArray::fromRawData(reinterpret_cast<const char*>(resource.data()), qsizetype(resource.size())))
                : QFontDatabase::addApplicationFont(name);
            if (id < 0)
                PLR_LOG_ERROR(QStringLiteral("Bundled font %1 could not be registered").arg(name));
        }
        return true;
    }();
    (void)done;
}

QString family() { return QStringLiteral("DejaVu Sans"); }

} // namespace fonts

QFont systemFont(double size, FontWeight weight)
{
    fonts::registerBundledFonts();
    QFont font(fonts::family());
    font.setPixelSize(std::max(1, int(std::lround(size))));
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setStyleStrategy(QFont::PreferAntialias);
    font.setWeight(weight == FontWeight::Bold ? QFont::Bold : weight == FontWeight::Medium ? QFont::Medium : QFont::Normal);
    return font;
}

QFont boldSystemFont(double size) { return systemFont(size, FontWeight::Bold); }

double fontSize(const QFont& font)
{
    return font.pixelSize() > 0 ? double(font.pixelSize()) : font.pointSizeF();
}

} // namespace platform::ui
