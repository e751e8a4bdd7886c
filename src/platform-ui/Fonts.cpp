#include "platform-ui/Fonts.h"

#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/Resources.h"

#include <QFontDatabase>
#include <QResource>

#include <cmath>
#include <condition_variable>
#include <mutex>

namespace platform::ui {

namespace fonts {

namespace {

void registerEachFile()
{
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
}

// Once per run, on whichever thread comes first; a caller that finds it under way waits for it.
struct Registration {
    enum class State { NotStarted, Running, Done };
    std::mutex mutex;
    std::condition_variable finished;
    State state = State::NotStarted;
};

Registration& registration()
{
    static Registration shared;
    return shared;
}

// True when this caller is the one to register.
bool claim()
{
    Registration& r = registration();
    std::lock_guard lock(r.mutex);
    if (r.state != Registration::State::NotStarted)
        return false;
    r.state = Registration::State::Running;
    return true;
}

void registerAndAnnounce()
{
    registerEachFile();
    Registration& r = registration();
    {
        std::lock_guard lock(r.mutex);
        r.state = Registration::State::Done;
    }
    r.finished.notify_all();
}

} // namespace

void registerBundledFontsInBackground()
{
    if (claim())
        dispatchGlobal(registerAndAnnounce);
}

void registerBundledFonts()
{
    if (claim()) {
        registerAndAnnounce();
        return;
    }
    Registration& r = registration();
    std::unique_lock lock(r.mutex);
    r.finished.wait(lock, [&r] { return r.state == Registration::State::Done; });
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
