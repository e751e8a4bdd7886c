#include "store/session/PLRDefaults.h"
#include "platform/Resets.h"

#include "platform/Json.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QFileInfo>

#include <atomic>
#include <mutex>

using namespace plr::defaults;

namespace {

platform::UserDefaults& store()
{
    PLRDefaults::registerDefaults();
    return platform::UserDefaults::standard();
}

bool boolFor(const char* key) { return store().boolForKey(QLatin1String(key)); }
qint64 integerFor(const char* key) { return store().integerForKey(QLatin1String(key)); }
void setBool(const char* key, bool value) { store().setBool(QLatin1String(key), value); }
void setInteger(const char* key, qint64 value) { store().setInteger(QLatin1String(key), value); }

QUrl urlFor(const char* key)
{
    const QString text = store().stringForKey(QLatin1String(key));
    return text.isEmpty() ? QUrl() : QUrl(text);
}

void setUrl(const char* key, const QUrl& url)
{
    if (url.isEmpty())
        store().removeObject(QLatin1String(key));
    else
        store().setString(QLatin1String(key), url.toString());
}

void setData(const char* key, const QByteArray& data)
{
    if (data.isEmpty())
        store().removeObject(QLatin1String(key));
    else
        store().setObject(QLatin1String(key), data);
}

std::atomic_bool s_createdThisRun{false};
const platform::resets::Joined s_createdThisRunReset{[] { s_createdThisRun = false; }};

} // namespace

QVariantMap PLRDefaults::registeredDefaults()
{
    // Every setting's value when it was never set.
    return {
        {QLatin1String(kSplitUsedImages), false},
        {QLatin1String(kShowHiddenImages), false},
        {QLatin1String(kGallerySortType), 0},
        {QLatin1String(kGallerySortOrder), 0},
        {QLatin1String(kGalleryStarValue), 0},
        {QLatin1String(kGalleryStarComparator), 1},
        {QLatin1String(kGalleryColourValue), 0},
        {QLatin1String(kAutoAddImages), false},
        {QLatin1String(kSupressImageDelete), false},
        {QLatin1String(kAutoLayoutNumImages), 21},
        {QLatin1String(kAutoUpdatesAlertWasShown), false},
        {QLatin1String(kAutoUpdatesAlertSuppressNotify), false},
        {QLatin1String(kIncludeSubFolders), false},
        {QLatin1String(kDefaultPadding), 10.0},
        {QLatin1String(kExportDatabase), false},
        {QLatin1String(kExportDatabaseSupressNotify), false},
        {QLatin1String(kExportLayoutCount), 0},
        {QLatin1String(kExportCollageCount), 0},
        {QLatin1String(kHomeSortOrder), 0},
        {QLatin1String(kHomeSortType), 1},
        {QLatin1String(kPresentedOnboard), 0},
        {QLatin1String(kPresentGallery), false},
        {QLatin1String(kPresentOutline), false},
        {QLatin1String(kExportQuality), 75},
        {QLatin1String(kExportCreateSubfolder), false},
        {QLatin1String(kSupressPostUpdateInfo), false},
        {QLatin1String(kFirstPostPublished), true},
        {QLatin1String(kPublishExportOptionPanelPresented), false},
        // "export_width" answers 1500 for 0 as well (exportWidth), "def_bg_col" white
        // (defaultBackgroundColour): both are handled by their accessors.
    };
}

void PLRDefaults::registerDefaults()
{
    // The registered table outlives re-reads of the settings file.
    static std::once_flag registered;
    std::call_once(registered, [] { platform::UserDefaults::standard().registerDefaults(registeredDefaults()); });
}

bool PLRDefaults::shouldSplitUsedImages() { return boolFor(kSplitUsedImages); }
void PLRDefaults::setShouldSplitusedImages(bool value) { setBool(kSplitUsedImages, value); }
bool PLRDefaults::shouldShowHiddenImages() { return boolFor(kShowHiddenImages); }
void PLRDefaults::setShouldShowHiddenImages(bool value) { setBool(kShowHiddenImages, value); }
qint64 PLRDefaults::sortType() { return integerFor(kGallerySortType); }
void PLRDefaults::setSortType(qint64 value) { setInteger(kGallerySortType, value); }
qint64 PLRDefaults::sortOrder() { return integerFor(kGallerySortOrder); }
void PLRDefaults::setSortOrder(qint64 value) { setInteger(kGallerySortOrder, value); }
qint64 PLRDefaults::starFilterValue() { return integerFor(kGalleryStarValue); }
void PLRDefaults::setStarFilterValue(qint64 value) { setInteger(kGalleryStarValue, value); }
qint64 PLRDefaults::starFilterComparator() { return integerFor(kGalleryStarComparator); }
void PLRDefaults::setStarFilterComparator(qint64 value) { setInteger(kGalleryStarComparator, value); }
qint64 PLRDefaults::colourFilterValue() { return integerFor(kGalleryColourValue); }
void PLRDefaults::setColourFilterValue(qint64 value) { setInteger(kGalleryColourValue, value); }
bool PLRDefaults::shouldAutoAddNewImages() { return boolFor(kAutoAddImages); }
void PLRDefaults::setShouldAutoAddNewImages(bool value) { setBool(kAutoAddImages, value); }
bool PLRDefaults::shouldSupressImageItemDelete() { return boolFor(kSupressImageDelete); }
void PLRDefaults::setSupressImageDataDelete(bool value) { setBool(kSupressImageDelete, value); }
qint64 PLRDefaults::autoLayoutNumImagesToAdd() { return integerFor(kAutoLayoutNumImages); }
void PLRDefaults::setAutoLayoutNumImagesToAdd(qint64 value) { setInteger(kAutoLayoutNumImages, value); }
bool PLRDefaults::defaultIncludeSubfolders() { return boolFor(kIncludeSubFolders); }
void PLRDefaults::setDefaultIncludeSubfolders(bool value) { setBool(kIncludeSubFolders, value); }

QString PLRDefaults::ascendingTitleForType(qint64 type)
{
    switch (type) {
    case 0: return QStringLiteral("Alphabetical Order");
    case 1: return QStringLiteral("Oldest to Newest");
    case 2: return QStringLiteral("Least Recent to Most Recent");
    default: return {};
    }
}

QString PLRDefaults::descendingTitleForType(qint64 type)
{
    switch (type) {
    case 0: return QStringLiteral("Reverse Alphabetical Order");
    case 1: return QStringLiteral("Newest to Oldest");
    case 2: return QStringLiteral("Most Recent to Least Recent");
    default: return {};
    }
}

qint64 PLRDefaults::homeSortOrder() { return integerFor(kHomeSortOrder); }
void PLRDefaults::setHomeSortOrder(qint64 value) { setInteger(kHomeSortOrder, value); }
qint64 PLRDefaults::homeSortType() { return integerFor(kHomeSortType); }
void PLRDefaults::setHomeSortType(qint64 value) { setInteger(kHomeSortType, value); }

QColor PLRDefaults::defaultBackgroundColour()
{
    const QColor colour = unarchivedColour(store().dataForKey(QLatin1String(kDefaultBackgroundColour)));
    return colour.isValid() ? colour : QColor(Qt::white);
}

void PLRDefaults::setDefaultColour(const QColor& colour)
{
    setData(kDefaultBackgroundColour, colour.isValid() ? archivedColour(colour) : QByteArray());
}

double PLRDefaults::defaultPadding() { return store().doubleForKey(QLatin1String(kDefaultPadding)); }
void PLRDefaults::setDefaultPadding(double value) { store().setDouble(QLatin1String(kDefaultPadding), value); }

bool PLRDefaults::autoUpdateAlertWasShownThisUpdate() { return boolFor(kAutoUpdatesAlertWasShown); }
void PLRDefaults::setAutoUpdateAlertWasShownThisUpdate(bool value) { setBool(kAutoUpdatesAlertWasShown, value); }
bool PLRDefaults::shouldSuppressNotifyOfTurnOnAutoUpdates() { return boolFor(kAutoUpdatesAlertSuppressNotify); }
void PLRDefaults::setShouldSuppressNotifyOfTurnOnAutoUpdates(bool value) { setBool(kAutoUpdatesAlertSuppressNotify, value); }
qint64 PLRDefaults::onBoardPresentationState() { return integerFor(kPresentedOnboard); }
void PLRDefaults::setOnBoardPresentationState(qint64 value) { setInteger(kPresentedOnboard, value); }
bool PLRDefaults::shouldPresentGallery() { return boolFor(kPresentGallery); }
void PLRDefaults::setShouldPresentGallery(bool value) { setBool(kPresentGallery, value); }
bool PLRDefaults::shouldPresentOutline() { return boolFor(kPresentOutline); }
void PLRDefaults::setShouldPresentOutline(bool value) { setBool(kPresentOutline, value); }

bool PLRDefaults::shouldExportDatabase() { return boolFor(kExportDatabase); }

void PLRDefaults::setShouldExportDatabase(bool value)
{
    setBool(kExportDatabase, value);
    setShouldSupressNotifyOfExport(true);
}

QString PLRDefaults::exportDatabasePath() { return store().stringForKey(QLatin1String(kExportDatabasePath)); }

void PLRDefaults::setExportDatabasePath(const QString& path)
{
    if (path.isEmpty())
        store().removeObject(QLatin1String(kExportDatabasePath));
    else
        store().setString(QLatin1String(kExportDatabasePath), path);
}

QByteArray PLRDefaults::exportDatabaseBookmark() { return store().dataForKey(QLatin1String(kExportDatabaseBookmark)); }
void PLRDefaults::setExportDatabaseBookmark(const QByteArray& bookmark) { setData(kExportDatabaseBookmark, bookmark); }
bool PLRDefaults::shouldSupressNotifyOfExport() { return boolFor(kExportDatabaseSupressNotify); }
void PLRDefaults::setShouldSupressNotifyOfExport(bool value) { setBool(kExportDatabaseSupressNotify, value); }

qint64 PLRDefaults::exportWidth()
{
    const qint64 width = integerFor(kExportWidth);
    return width == 0 ? 1500 : width;
}

void PLRDefaults::setExportWidth(qint64 value) { setInteger(kExportWidth, value); }
qint64 PLRDefaults::exportQuality() { return integerFor(kExportQuality); }
void PLRDefaults::setExportQuality(qint64 value) { setInteger(kExportQuality, value); }
QUrl PLRDefaults::exportLocationURL() { return urlFor(kExportLocation); }
void PLRDefaults::setExportLocationURL(const QUrl& url) { setUrl(kExportLocation, url); }
QUrl PLRDefaults::exportCollageLocationURL() { return urlFor(kExportCollageLocation); }
void PLRDefaults::setExportCollageLocationURL(const QUrl& url) { setUrl(kExportCollageLocation, url); }
QByteArray PLRDefaults::exportLocationBookmark() { return store().dataForKey(QLatin1String(kExportBookmark)); }
void PLRDefaults::setExportLocationBookmark(const QByteArray& bookmark) { setData(kExportBookmark, bookmark); }
QByteArray PLRDefaults::exportCollageLocationBookmark() { return store().dataForKey(QLatin1String(kExportCollageBookmark)); }
void PLRDefaults::setExportCollageLocationBookmark(const QByteArray& bookmark) { setData(kExportCollageBookmark, bookmark); }
bool PLRDefaults::shouldSetExportSubFolder() { return boolFor(kExportCreateSubfolder); }
void PLRDefaults::setShouldExportSubFolder(bool value) { setBool(kExportCreateSubfolder, value); }
qint64 PLRDefaults::exportLayoutCount() { return integerFor(kExportLayoutCount); }
qint64 PLRDefaults::exportCollageCount() { return integerFor(kExportCollageCount); }
void PLRDefaults::incrementExportLayoutCount() { setInteger(kExportLayoutCount, exportLayoutCount() + 1); }
void PLRDefaults::incrementExportCollageCount() { setInteger(kExportCollageCount, exportCollageCount() + 1); }

bool PLRDefaults::shouldSupressPostUpdateInfo() { return boolFor(kSupressPostUpdateInfo); }
void PLRDefaults::setShouldPostUpdateInfo(bool value) { setBool(kSupressPostUpdateInfo, value); }
bool PLRDefaults::shouldPresentFirstPostModalView() { return boolFor(kFirstPostPublished); }
void PLRDefaults::setShouldPresentFirstPostModalView(bool value) { setBool(kFirstPostPublished, value); }
bool PLRDefaults::publishExportOptionPanelPresented() { return boolFor(kPublishExportOptionPanelPresented); }
void PLRDefaults::setPublishExportOptionPanelPresented(bool value) { setBool(kPublishExportOptionPanelPresented, value); }

QString PLRDefaults::applicationSupportDirectory()
{
    const QString path = platform::paths::applicationSupport();
    if (!QFileInfo(path).isDir()) {
        if (QDir().mkpath(path))
            s_createdThisRun = true;
        else
            PLR_LOG_ERROR(QStringLiteral("Could not create the application folder %1").arg(path));
    }
    const QString temp = path + QLatin1Char('/') + QLatin1String(kTempAssetsFolderName);
    if (!QFileInfo(temp).isDir() && !QDir().mkpath(temp))
        PLR_LOG_ERROR(QStringLiteral("Could not create %1").arg(temp));
    return path;
}

bool PLRDefaults::isFirstRun()
{
    return s_createdThisRun.load();
}

QUrl PLRDefaults::sitemapURL()
{
    QUrl url;
    url.setScheme(QStringLiteral("https"));
    url.setHost(QLatin1String(kUpdatesHost));
    url.setPath(QStringLiteral("/support_sitemap.xml"));
    return url;
}

QUrl PLRDefaults::supportURLForPath(const QString& path)
{
    QString relative = path;
    while (relative.startsWith(QLatin1Char('/')))
        relative.remove(0, 1);
    QUrl url;
    url.setScheme(QStringLiteral("https"));
    url.setHost(QLatin1String(kHelpCentreHost));
    url.setPath(QLatin1Char('/') + relative);
    return url;
}

QByteArray PLRDefaults::archivedColour(const QColor& colour)
{
    const QColor rgb = colour.toRgb();
    const QVariantMap components{
        {QStringLiteral("r"), rgb.redF()},
        {QStringLiteral("g"), rgb.greenF()},
        {QStringLiteral("b"), rgb.blueF()},
        {QStringLiteral("a"), rgb.alphaF()},
    };
    return platform::json::write(components, false);
}

QColor PLRDefaults::unarchivedColour(const QByteArray& data)
{
    if (data.isEmpty())
        return {};
    const QVariantMap components = platform::json::parse(data, false).toMap();
    const QStringList keys{QStringLiteral("r"), QStringLiteral("g"), QStringLiteral("b"), QStringLiteral("a")};
    float values[4] = {0, 0, 0, 1};
    for (int i = 0; i < 4; ++i) {
        const QVariant value = components.value(keys[i]);
        bool ok = false;
        const double number = value.toDouble(&ok);
        if (!value.isValid() && i == 3)
            continue;
        if (!ok || number < 0.0 || number > 1.0)
            return {};
        values[i] = float(number);
    }
    return QColor::fromRgbF(values[0], values[1], values[2], values[3]);
}
