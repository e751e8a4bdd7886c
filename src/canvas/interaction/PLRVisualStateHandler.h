#pragma once

#include <QList>

#include <optional>

class PLRVisualStateHandler;

// A reader of the shared visual state. Every call is optional (empty by default); a delegate
// that can tell a zoom factor that fits answers layoutZoomFactorToFit. A delegate leaves the
// handler's delegates by itself when it is destroyed.
class PLRVisualStateHandlerDelegate {
public:
    virtual ~PLRVisualStateHandlerDelegate();
    virtual void visualStateHandlerSetPostHeaderVisible(PLRVisualStateHandler*, bool) {}
    virtual void visualStateHandlerSetGalleryVisible(PLRVisualStateHandler*, bool) {}
    virtual void visualStateHandlerSetInspectorVisible(PLRVisualStateHandler*, bool) {}
    virtual void visualStateHandlerSetLayoutZoomFactor(PLRVisualStateHandler*, double) {}
    // Nothing when the delegate cannot tell.
    virtual std::optional<double> layoutZoomFactorToFitForVisualStateHandler(PLRVisualStateHandler*)
    {
        return std::nullopt;
    }
};

// The visual state the main window shares across its parts: whether the title bar shows the post
// header, whether the gallery and the inspector panels are collapsed (YES means collapsed, also
// in the settings "present_gallery" and "present_outline") and the canvas zoom factor. One shared
// instance.
class PLRVisualStateHandler {
public:
    static PLRVisualStateHandler& globalHandler();

    bool postHeaderVisible() const { return m_postHeaderVisible; }
    bool galleryVisible() const { return m_galleryVisible; }
    bool inspectorVisible() const { return m_inspectorVisible; }
    double layoutZoomFactor() const { return m_layoutZoomFactor; }

    void setPostHeaderVisible(bool visible);
    void setGalleryVisible(bool collapsed);
    void toggleGalleryVisible();
    void setInspectorVisible(bool collapsed);
    void toggleInspectorVisible();
    // Stored as given (no bounds).
    void setLayoutZoomFactor(double factor);
    // Steps bounded to 4.0 and 0.1.
    void incrementLayoutZoomFactorBy(double step);
    void decrementLayoutZoomFactorBy(double step);
    // Each delegate that can tell a fitting factor sets it; the last one asked wins.
    void setLayoutZoomToFit();

    void addVisualDelegate(PLRVisualStateHandlerDelegate* delegate);
    void removeVisualDelegate(PLRVisualStateHandlerDelegate* delegate);
    QList<PLRVisualStateHandlerDelegate*> currentDelegates() const { return m_delegates; }

    // Back to the start values (tests).
    void reset();

private:
    PLRVisualStateHandler();
    ~PLRVisualStateHandler();
    template <class Call> void fanOut(Call call);
    bool m_postHeaderVisible = false;
    bool m_galleryVisible = false;
    bool m_inspectorVisible = false;
    double m_layoutZoomFactor = 1.0;
    QList<PLRVisualStateHandlerDelegate*> m_delegates;
};
