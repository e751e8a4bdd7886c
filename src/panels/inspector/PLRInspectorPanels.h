#pragma once

#include <QString>
#include <QtGlobal>

class PLRSwitchButton;
class PLRPopupButton;

// The inspector's areas that publishing fills: the publish panel and the export panel in the
// bottom area, the SEO panel inside the Document page (which hands it the post manager). Each comes from the "Main" scene registry
// under its identifier (registered by the library that builds it) as a
// PLRGenericPostViewController that also implements the matching interface below; an area whose
// panel is not registered stays empty.
inline constexpr char kPLRInspectorPublishPanelIdentifier[] = "PublishViewController";
inline constexpr char kPLRInspectorExportPanelIdentifier[] = "ExportViewController";
inline constexpr char kPLRInspectorSeoPanelIdentifier[] = "SeoViewController";

class PLRInspectorPublishArea;

// What the inspector and the Document page ask of the publish panel.
class PLRInspectorPublishPanel {
public:
    virtual ~PLRInspectorPublishPanel() = default;
    // True while the panel covers its area with an overlay of its own (set-up, first post...).
    virtual bool isShowingSpecialOverlayView() const = 0;

    // The Document page whose publish-state area the panel drives (null when it goes). The
    // inspector links the two once both exist.
    virtual void setDocumentViewController(PLRInspectorPublishArea* area) { Q_UNUSED(area); }
    // The Document page's own buttons in that area forward here: its publish button (cancel
    // while uploading, un-publish when published, publish otherwise), the WordPress settings
    // button and the publish-as-draft switch.
    virtual void publish() {}
    virtual void cancelUpdate() {}
    virtual void deleteRemotePost() {}
    virtual void showWordpressSettings() {}
    virtual void changePublishAsDraftState() {}
};

// The publish-state area of the Document page, as the publish panel drives it. The area stays
// hidden until a publish panel is linked to the page.
class PLRInspectorPublishArea {
public:
    virtual ~PLRInspectorPublishArea() = default;
    // Status "Not Published", button "Publish", grey bolt, no dates.
    virtual void showUnpublishedState() = 0;
    // Status " <text>", button "Cancel", spinner running.
    virtual void showUploadingState(const QString& text) = 0;
    virtual void setUploadCancelEnabled(bool enabled) = 0;
    // Status "Published", button "Un-publish", green bolt, dates shown.
    virtual void showPublishedState() = 0;
    virtual void updatePublishedDate(const QString& text) = 0;
    virtual void updateLastUpdatedDate(const QString& text) = 0;
    virtual void updatePublishHost(const QString& text) = 0;
    virtual void setWordPressSettingsViewHidden(bool hidden) = 0;
    virtual void showWordpressError(const QString& text) = 0;
    virtual void hideWordPressError() = 0;
    // Overlays over the area (each posts "PLRToggleInspectorBottomPublishAreaVisibility").
    virtual void showOfflineView() = 0;
    virtual void hideOfflineView() = 0;
    virtual void showNoServerConnectionView() = 0;
    virtual void hideNoServerConnectionView() = 0;
    virtual void showFetchingInfoView() = 0;
    virtual void hideFetchingInfoView() = 0;
    // The WordPress category pop-up and the publish-as-draft switch, which the panel fills,
    // reads and enables.
    virtual PLRPopupButton* categoriesPopup() const = 0;
    virtual PLRSwitchButton* publishAsDraft() const = 0;
    virtual bool isPublished() const = 0;
    virtual bool isUploading() const = 0;
};

// What the inspector asks of the export panel.
class PLRInspectorExportPanel {
public:
    virtual ~PLRInspectorExportPanel() = default;
    // 1: the whole layout as numbered files; 2: the selected blocks as one collage.
    virtual void setExportType(qint64 type) = 0;
};
