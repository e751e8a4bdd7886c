#include "canvas/interaction/PLRVisualStateHandler.h"
#include "platform/Resets.h"

#include <cmath>

#include "store/session/PLRDefaults.h"

#include <algorithm>

namespace {
bool gHandlerAlive = false;
}

PLRVisualStateHandlerDelegate::~PLRVisualStateHandlerDelegate()
{
    if (gHandlerAlive)
        PLRVisualStateHandler::globalHandler().removeVisualDelegate(this);
}

PLRVisualStateHandler& PLRVisualStateHandler::globalHandler()
{
    static PLRVisualStateHandler handler;
    static const bool joined = platform::resets::add([] { handler.reset(); });
    (void)joined;
    return handler;
}

PLRVisualStateHandler::PLRVisualStateHandler()
{
    reset();
    gHandlerAlive = true;
}

PLRVisualStateHandler::~PLRVisualStateHandler()
{
    gHandlerAlive = false;
}

void PLRVisualStateHandler::reset()
{
    m_postHeaderVisible = false;
    m_galleryVisible = PLRDefaults::shouldPresentGallery();
    m_inspectorVisible = PLRDefaults::shouldPresentOutline();
    m_layoutZoomFactor = 1.0;
}

template <class Call> void PLRVisualStateHandler::fanOut(Call call)
{
    // Delegates added or removed while the change is told do not change who is told, but one
    // removed (destroyed) meanwhile is not called.
    const QList<PLRVisualStateHandlerDelegate*> snapshot = m_delegates;
    for (PLRVisualStateHandlerDelegate* delegate : snapshot)
        if (m_delegates.contains(delegate))
            call(delegate);
}

void PLRVisualStateHandler::setPostHeaderVisible(bool visible)
{
    m_postHeaderVisible = visible;
    fanOut([this, visible](PLRVisualStateHandlerDelegate* d) { d->visualStateHandlerSetPostHeaderVisible(this, visible); });
}

void PLRVisualStateHandler::setGalleryVisible(bool collapsed)
{
    m_galleryVisible = collapsed;
    PLRDefaults::setShouldPresentGallery(collapsed);
    fanOut([this, collapsed](PLRVisualStateHandlerDelegate* d) { d->visualStateHandlerSetGalleryVisible(this, collapsed); });
}

void PLRVisualStateHandler::toggleGalleryVisible()
{
    setGalleryVisible(!m_galleryVisible);
}

void PLRVisualStateHandler::setInspectorVisible(bool collapsed)
{
    m_inspectorVisible = collapsed;
    PLRDefaults::setShouldPresentOutline(collapsed);
    fanOut([this, collapsed](PLRVisualStateHandlerDelegate* d) { d->visualStateHandlerSetInspectorVisible(this, collapsed); });
}

void PLRVisualStateHandler::toggleInspectorVisible()
{
    setInspectorVisible(!m_inspectorVisible);
}

void PLRVisualStateHandler::setLayoutZoomFactor(double factor)
{
    m_layoutZoomFactor = factor;
    fanOut([this, factor](PLRVisualStateHandlerDelegate* d) { d->visualStateHandlerSetLayoutZoomFactor(this, factor); });
}

void PLRVisualStateHandler::incrementLayoutZoomFactorBy(double step)
{
    setLayoutZoomFactor(std::min(4.0, m_layoutZoomFactor + step));
}

void PLRVisualStateHandler::decrementLayoutZoomFactorBy(double step)
{
    setLayoutZoomFactor(std::max(0.1, m_layoutZoomFactor - step));
}

void PLRVisualStateHandler::setLayoutZoomToFit()
{
    const QList<PLRVisualStateHandlerDelegate*> snapshot = m_delegates;
    for (PLRVisualStateHandlerDelegate* delegate : snapshot) {
        if (!m_delegates.contains(delegate))
            continue;
        // A fit of nothing (0 or less, or not a number) is refused.
        if (const std::optional<double> factor = delegate->layoutZoomFactorToFitForVisualStateHandler(this);
            factor && std::isfinite(*factor) && *factor > 0.0)
            setLayoutZoomFactor(*factor);
    }
}

void PLRVisualStateHandler::addVisualDelegate(PLRVisualStateHandlerDelegate* delegate)
{
    if (delegate && !m_delegates.contains(delegate))
        m_delegates.append(delegate);
}

void PLRVisualStateHandler::removeVisualDelegate(PLRVisualStateHandlerDelegate* delegate)
{
    m_delegates.removeAll(delegate);
}
