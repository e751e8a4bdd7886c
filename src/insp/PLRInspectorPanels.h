#pragma once

#include <QtGlobal>

// The inspector's areas that publishing fills: the publish panel and the export panel in the
// bottom area, the SEO panel inside the Document page (which hands it the post manager). Each comes from the "Main" scene registry
// under its identifier (registered by the library that builds it) as a
// PLRGenericPostViewController that also implements the matching interface below; an area whose
// panel is not registered stays empty.
inline constexpr char kPLRInspectorPublishPanelIdentifier[] = "PublishViewController";
inline constexpr char kPLRInspectorExportPanelIdentifier[] = "ExportViewController";
inline constexpr char kPLRInspectorSeoPanelIdentifier[] = "SeoViewController";

// What the inspector and the Document page ask of the publish panel.
class PLRInspectorPublishPanel {
public:
    virtual ~PLRInspectorPublishPanel() = default;
    // True while the panel covers its area with an overlay of its own (set-up, first post...).
    virtual bool isShowingSpecialOverlayView() const = 0;
};

// What the inspector asks of the export panel.
class PLRInspectorExportPanel {
public:
    virtual ~PLRInspectorExportPanel() = default;
    // 1: the whole layout as numbered files; 2: the selected blocks as one collage.
    virtual void setExportType(qint64 type) = 0;
};
