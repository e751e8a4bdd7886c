#pragma once

#include <QByteArray>
#include <QColor>
#include <QString>
#include <QUrl>
#include <QVariantMap>

// Settings keys.
namespace plr::defaults {
inline constexpr const char* kSplitUsedImages = "split_used_images";
inline constexpr const char* kShowHiddenImages = "show_hidden_images";
inline constexpr const char* kGallerySortType = "gall_sort_type";
inline constexpr const char* kGallerySortOrder = "gall_sort_order";
inline constexpr const char* kGalleryStarValue = "gall_star_value";
inline constexpr const char* kGalleryStarComparator = "gall_star_comp";
inline constexpr const char* kGalleryColourValue = "gall_colour_value";
inline constexpr const char* kAutoAddImages = "auto_add_images";
inline constexpr const char* kSupressImageDelete = "sup_img_del";
inline constexpr const char* kAutoLayoutNumImages = "auto_layout_num_images";
inline constexpr const char* kAutoUpdatesAlertWasShown = "auto_updates_alert_was_shown";
inline constexpr const char* kAutoUpdatesAlertSuppressNotify = "auto_updates_alert_suppress_notify";
inline constexpr const char* kDefaultBackgroundColour = "def_bg_col";
inline constexpr const char* kIncludeSubFolders = "include_sub_folders";
inline constexpr const char* kDefaultPadding = "def_padding";
inline constexpr const char* kExportDatabase = "export_database";
inline constexpr const char* kExportDatabasePath = "export_database_path";
inline constexpr const char* kExportDatabaseBookmark = "export_database_bookmark";
inline constexpr const char* kExportDatabaseSupressNotify = "export_database_supress_notify";
inline constexpr const char* kExportLayoutCount = "export_layout_count";
inline constexpr const char* kExportCollageCount = "export_collage_count";
inline constexpr const char* kHomeSortOrder = "gall_home_sort_order";
inline constexpr const char* kHomeSortType = "gall_home_sort_type";
inline constexpr const char* kPresentedOnboard = "presented_onboard";
inline constexpr const char* kPresentGallery = "present_gallery";
inline constexpr const char* kPresentOutline = "present_outline";
inline constexpr const char* kExportWidth = "export_width";
inline constexpr const char* kExportQuality = "export_quality";
inline constexpr const char* kExportLocation = "export_location";
inline constexpr const char* kExportBookmark = "export_bookmark";
inline constexpr const char* kExportCollageLocation = "export_collage_location";
inline constexpr const char* kExportCollageBookmark = "export_collage_bookmark";
inline constexpr const char* kExportCreateSubfolder = "export_create_subfolder";
inline constexpr const char* kSupressPostUpdateInfo = "sup_post_update_info";
inline constexpr const char* kFirstPostPublished = "kPLR_FIRST_POST_PUBLISHED";
inline constexpr const char* kPublishExportOptionPanelPresented = "publish_export_option_panel_presented";

inline constexpr const char* kTempAssetsFolderName = "gall_temp_assets";
inline constexpr const char* kUpdatesHost = "updates.quenfield.com";
inline constexpr const char* kHelpCentreHost = "help.quenfield.com";
} // namespace plr::defaults

// The typed settings over the user defaults. Every default lives in one table
// (PLRDefaults::registeredDefaults()), registered with the user defaults on first use.
class PLRDefaults {
public:
    static QVariantMap registeredDefaults();
    // Registers the table with the user defaults (done by every accessor; cheap).
    static void registerDefaults();

    // Gallery.
    static bool shouldSplitUsedImages();
    static void setShouldSplitusedImages(bool value);
    static bool shouldShowHiddenImages();
    static void setShouldShowHiddenImages(bool value);
    static qint64 sortType();
    static void setSortType(qint64 value);
    static qint64 sortOrder();
    static void setSortOrder(qint64 value);
    static qint64 starFilterValue();
    static void setStarFilterValue(qint64 value);
    static qint64 starFilterComparator();
    static void setStarFilterComparator(qint64 value);
    static qint64 colourFilterValue();
    static void setColourFilterValue(qint64 value);
    static bool shouldAutoAddNewImages();
    static void setShouldAutoAddNewImages(bool value);
    static bool shouldSupressImageItemDelete();
    static void setSupressImageDataDelete(bool value);
    static qint64 autoLayoutNumImagesToAdd();   // 2147483647 means all images
    static void setAutoLayoutNumImagesToAdd(qint64 value);
    static bool defaultIncludeSubfolders();
    static void setDefaultIncludeSubfolders(bool value);
    // Titles of the sort orders: 0 title, 1 creation date, 2 modification date; empty otherwise.
    static QString ascendingTitleForType(qint64 type);
    static QString descendingTitleForType(qint64 type);

    // Home screen.
    static qint64 homeSortOrder();
    static void setHomeSortOrder(qint64 value);
    static qint64 homeSortType();
    static void setHomeSortType(qint64 value);

    // New layouts.
    static QColor defaultBackgroundColour();
    static void setDefaultColour(const QColor& colour);
    static double defaultPadding();
    static void setDefaultPadding(double value);

    // Updates and onboarding.
    static bool autoUpdateAlertWasShownThisUpdate();
    static void setAutoUpdateAlertWasShownThisUpdate(bool value);
    static bool shouldSuppressNotifyOfTurnOnAutoUpdates();
    static void setShouldSuppressNotifyOfTurnOnAutoUpdates(bool value);
    static qint64 onBoardPresentationState();
    static void setOnBoardPresentationState(qint64 value);
    static bool shouldPresentGallery();
    static void setShouldPresentGallery(bool value);
    static bool shouldPresentOutline();
    static void setShouldPresentOutline(bool value);

    // Store backup.
    static bool shouldExportDatabase();
    // Also sets shouldSupressNotifyOfExport to true.
    static void setShouldExportDatabase(bool value);
    static QString exportDatabasePath();   // empty when none
    static void setExportDatabasePath(const QString& path);
    static QByteArray exportDatabaseBookmark();
    static void setExportDatabaseBookmark(const QByteArray& bookmark);
    static bool shouldSupressNotifyOfExport();
    static void setShouldSupressNotifyOfExport(bool value);

    // Export.
    static qint64 exportWidth();   // 1500 when 0 or absent
    static void setExportWidth(qint64 value);
    static qint64 exportQuality();
    static void setExportQuality(qint64 value);
    static QUrl exportLocationURL();
    static void setExportLocationURL(const QUrl& url);
    static QUrl exportCollageLocationURL();
    static void setExportCollageLocationURL(const QUrl& url);
    static QByteArray exportLocationBookmark();
    static void setExportLocationBookmark(const QByteArray& bookmark);
    static QByteArray exportCollageLocationBookmark();
    static void setExportCollageLocationBookmark(const QByteArray& bookmark);
    static bool shouldSetExportSubFolder();
    static void setShouldExportSubFolder(bool value);
    static qint64 exportLayoutCount();
    static qint64 exportCollageCount();
    static void incrementExportLayoutCount();
    static void incrementExportCollageCount();

    // Publishing.
    static bool shouldSupressPostUpdateInfo();
    static void setShouldPostUpdateInfo(bool value);
    static bool shouldPresentFirstPostModalView();
    static void setShouldPresentFirstPostModalView(bool value);
    static bool publishExportOptionPanelPresented();
    static void setPublishExportOptionPanelPresented(bool value);

    // The application's folder in the data folder, made (with "gall_temp_assets") when missing.
    static QString applicationSupportDirectory();
    // True when applicationSupportDirectory() created the folder in this run.
    static bool isFirstRun();

    static QUrl sitemapURL();
    // https://<help centre>/<path>; a leading "/" is accepted.
    static QUrl supportURLForPath(const QString& path);

    // The archived form of a colour (JSON of its components) and back; an invalid colour for
    // data that is not such an archive.
    static QByteArray archivedColour(const QColor& colour);
    static QColor unarchivedColour(const QByteArray& data);
};
