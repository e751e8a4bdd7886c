#include "shell/home/PLRRecentCollectionViewItemNewPost.h"

#include "shell/home/PLRShellHooks.h"
#include "shell/home/PLRShellImages.h"

#include "controls/ColorWithHex.h"
#include "platform-ui/Images.h"

#include <QPainterPath>

#include <cmath>

using namespace platform::ui;

namespace {
bool s_hovered = false;
bool s_pressed = false;
} // namespace

PLRRecentCollectionViewItemNewPostView::PLRRecentCollectionViewItemNewPostView(QWidget* parent) : View(parent) {}

bool PLRRecentCollectionViewItemNewPostView::hovered() { return s_hovered; }
bool PLRRecentCollectionViewItemNewPostView::pressed() { return s_pressed; }
void PLRRecentCollectionViewItemNewPostView::resetSharedState() { s_hovered = s_pressed = false; }

void PLRRecentCollectionViewItemNewPostView::drawRect(GraphicsContext& context, const QRectF&)
{
    const double W = width();
    const QImage tile = PLRShellImages::image(QStringLiteral("create-post-tile-image"));
    const QSizeF tileSize = pointSize(tile);
    if (tileSize.width() <= 0.0)
        return;
    // Points from the bottom (y grows upward): the picture stands on the "New Post" bar, as
    // wide as the bar at most and below the tile's top, scaled alike both ways (a round badge).
    const double s = W / 200.0;
    const double base = 160 * s;
    const double k = std::max(0.0, std::min((W - 40.0) / tileSize.width(), (height() - base - 8.0) / tileSize.height()));
    const QSizeF drawn = tileSize * k;
    context.drawImage(tile, QRectF((W - drawn.width()) / 2.0, base, drawn.width(), drawn.height()));

    if (s_hovered && !s_pressed)
        context.setShadow(Shadow{Color::black(0.3), 3.0, QSizeF(0, -3)});
    context.fillRect(QRectF(20, base - 45, W - 40, 53), Color::calibrated(0.11, 0.11, 0.11, 1.0));
    context.setShadow(std::nullopt);

    const QImage label = PLRShellImages::image(QString::fromLatin1(s_hovered && s_pressed ? "create-post-pressed" : "create-post"));
    const QSizeF labelSize = pointSize(label);
    const double x = std::ceil((W - 40) * 0.5 - labelSize.width() * 0.5 + 18);
    const double y = std::ceil(base - 45 + 16);
    context.drawImage(label, QRectF(QPointF(x, y), labelSize), QRectF(), QPainter::CompositionMode_SourceOver, 1.0);
    if (m_selected) {
        QPainterPath border;
        border.addRect(QRectF(1.5, 1.5, W - 3.0, height() - 3.0));
        context.strokePath(border, ColorWithHex::smb_blueColour(), 3.0);
    }
}

bool PLRRecentCollectionViewItemNewPostView::isShowingFocusRing() const
{
    const PLRCollectionView* collection = PLRCollectionView::enclosing(this);
    return collection && collection->isKeyboardPlace(this) && isVisible() && isEnabled();
}

void PLRRecentCollectionViewItemNewPostView::setSelected(bool selected)
{
    if (m_selected == selected)
        return;
    m_selected = selected;
    update();
}

void PLRRecentCollectionViewItemNewPostView::updateTrackingAreas()
{
    while (!trackingAreas().empty())
        removeTrackingArea(trackingAreas().front().get());
    addTrackingArea(bounds(), TrackingMouseEnteredAndExited | TrackingMouseMoved | TrackingActiveAlways);
}

void PLRRecentCollectionViewItemNewPostView::mouseEntered(const MouseEvent&)
{
    s_hovered = true;
    update();
}

void PLRRecentCollectionViewItemNewPostView::mouseExited(const MouseEvent&)
{
    s_hovered = false;
    update();
}

void PLRRecentCollectionViewItemNewPostView::mouseDown(const MouseEvent&)
{
    s_pressed = true;
    update();
}

void PLRRecentCollectionViewItemNewPostView::mouseCancelled()
{
    s_pressed = false;
    update();
}

void PLRRecentCollectionViewItemNewPostView::mouseUp(const MouseEvent&)
{
    s_pressed = false;
    update();
    if (s_hovered)
        PLRShellHooks::presentNewPost();
}

PLRRecentCollectionViewItemNewPost::PLRRecentCollectionViewItemNewPost(QObject* parent) : PLRCollectionViewItem(parent)
{
    setView(new PLRRecentCollectionViewItemNewPostView);
}

void PLRRecentCollectionViewItemNewPost::setSelected(bool selected)
{
    PLRCollectionViewItem::setSelected(selected);
    newPostView()->setSelected(selected);
}

PLRRecentCollectionViewItemNewPostView* PLRRecentCollectionViewItemNewPost::newPostView() const
{
    return static_cast<PLRRecentCollectionViewItemNewPostView*>(view());
}
