#include "panels/gallery/PLRGalleryViewItem.h"

#include "controls/ColorWithHex.h"
#include "panels/gallery/PLRGalleryCollectionView.h"
#include "panels/gallery/PLRGalleryFilterViews.h"
#include "panels/gallery/PLRGalleryImages.h"
#include "panels/gallery/PLRGalleryViewController.h"
#include "store/persistance-store/source/PLRImageManager.h"
#include "platform/Alert.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/Workspace.h"
#include "platform-ui/Images.h"
#include "store/session/PLRDefaults.h"

#include <QAction>
#include <QHash>
#include <QHelpEvent>
#include <QToolTip>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPainterPath>
#include <QSet>
#include <QTimer>

using namespace platform::ui;

namespace PLRGalleryKeys {

int codeForQtKey(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_H: return kH;
    case Qt::Key_Space: return kSpace;
    case Qt::Key_Backspace:
    case Qt::Key_Delete: return kDelete;
    case Qt::Key_Left: return kLeft;
    case Qt::Key_Right: return kRight;
    case Qt::Key_Down: return kDown;
    case Qt::Key_Up: return kUp;
    case Qt::Key_Home: return kHome;
    case Qt::Key_End: return kEnd;
    case Qt::Key_PageUp: return kPageUp;
    case Qt::Key_PageDown: return kPageDown;
    default: return -1;
    }
}

bool isModifierKey(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_CapsLock:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
        return true;
    default:
        return false;
    }
}

} // namespace PLRGalleryKeys

// ---------------------------------------------------------------- loading indicator

namespace {

// Turns every animating indicator, 12 steps a second.
class IndicatorTicker : public QObject {
public:
    static IndicatorTicker& shared()
    {
        static IndicatorTicker* ticker = new IndicatorTicker(qApp);
        return *ticker;
    }
    void add(PLRGalleryLoadingIndicator* indicator)
    {
        m_indicators.insert(indicator);
        if (!m_timer.isActive())
            m_timer.start();
    }
    void remove(PLRGalleryLoadingIndicator* indicator)
    {
        m_indicators.remove(indicator);
        if (m_indicators.isEmpty())
            m_timer.stop();
    }
    int phase() const { return m_phase; }

private:
    explicit IndicatorTicker(QObject* parent) : QObject(parent)
    {
        m_timer.setInterval(83);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            m_phase = (m_phase + 1) % 12;
            for (PLRGalleryLoadingIndicator* indicator : std::as_const(m_indicators))
                if (indicator->isVisible())
                    indicator->update();
        });
    }
    QSet<PLRGalleryLoadingIndicator*> m_indicators;
    QTimer m_timer;
    int m_phase = 0;
};

} // namespace

PLRGalleryLoadingIndicator::PLRGalleryLoadingIndicator(QWidget* parent) : View(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    resize(20, 20);
    hide();
}

PLRGalleryLoadingIndicator::~PLRGalleryLoadingIndicator()
{
    if (m_animating)
        IndicatorTicker::shared().remove(this);
}

void PLRGalleryLoadingIndicator::startAnimation()
{
    if (m_animating)
        return;
    m_animating = true;
    IndicatorTicker::shared().add(this);
}

void PLRGalleryLoadingIndicator::stopAnimation()
{
    if (!m_animating)
        return;
    m_animating = false;
    IndicatorTicker::shared().remove(this);
}

void PLRGalleryLoadingIndicator::drawRect(GraphicsContext& context, const QRectF&)
{
    const QRectF ring = bounds().adjusted(3, 3, -3, -3);
    QPainterPath track;
    track.addEllipse(ring);
    context.strokePath(track, Color::black(0.12), 2.0);
    QPainterPath arc;
    const double start = double(IndicatorTicker::shared().phase()) * 30.0;
    arc.arcMoveTo(ring, -start);
    arc.arcTo(ring, -start, -100.0);
    context.strokePath(arc, ColorWithHex::smb_blueColour(), 2.0);
}

// ---------------------------------------------------------------- item

PLRGalleryViewItem::PLRGalleryViewItem(QObject* parent) : QObject(parent)
{
    m_view = new PLRGalleryView;
    m_view->setGalleryViewItem(this);
}

PLRGalleryViewItem::~PLRGalleryViewItem()
{
    stopObserving();
    delete m_view;
}

void PLRGalleryViewItem::stopObserving()
{
    disconnect(m_inLayoutConnection);
    disconnect(m_hiddenConnection);
    if (m_image)
        m_image->removeDelegate(this);
}

void PLRGalleryViewItem::setImage(const PLRSourceImagePtr& image)
{
    stopObserving();
    m_image = image;
    m_previewBlob = QImage();
    m_loadingPreview = false;
    ++m_requestGeneration;   // a thumbnail still on its way belongs to the old photo
    m_view->setGalleryViewItem(this);
    m_view->showHideMenuItem()->setText(image && image->isHidden() ? QStringLiteral("Unhide") : QStringLiteral("Hide"));
    if (image) {
        // The flags may change on any thread; the redraw runs on ours.
        m_inLayoutConnection = connect(image.get(), &PLRSourceImage::inLayoutChanged, m_view, [this] { m_view->update(); });
        m_hiddenConnection = connect(image.get(), &PLRSourceImage::hiddenChanged, m_view, [this] { m_view->update(); });
        // Told on the main thread when the thumbnail is rebuilt.
        image->addDelegate(this);
    }
    refreshImageInfo();
}

void PLRGalleryViewItem::refreshImageInfo()
{
    if (!m_image) {
        m_previewBlob = QImage();
        m_loadingPreview = false;
        m_view->update();
        return;
    }
    const quint64 generation = ++m_requestGeneration;
    QPointer<PLRGalleryViewItem> self(this);
    const QImage now = m_image->previewImage([self, generation](const QImage& preview) {
        platform::dispatchMain([self, generation, preview] {
            // Dropped when the item has gone or shows another photo by now.
            if (!self || self->m_requestGeneration != generation)
                return;
            self->m_loadingPreview = false;
            self->m_previewBlob = preview;
            self->m_view->update();
        });
    });
    m_previewBlob = now;
    m_loadingPreview = now.isNull();
    m_view->update();
}

void PLRGalleryViewItem::imageCacheAssetChanged(PLRSourceImage* image)
{
    if (m_image.get() == image)
        refreshImageInfo();
}

void PLRGalleryViewItem::setSelected(bool selected)
{
    m_selected = selected;
    m_view->setSelected(selected);
    if (selected && m_collectionView)
        m_collectionView->makeFirstResponder(this);
}

void PLRGalleryViewItem::keyDown(QKeyEvent* event)
{
    constexpr Qt::KeyboardModifiers held = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    switch (PLRGalleryKeys::codeForQtKey(event->key())) {
    case PLRGalleryKeys::kH:
        // Only a bare H hides; with a modifier it is another command's key.
        if (event->modifiers() & held)
            break;
        hideKeyAction();
        return;
    case PLRGalleryKeys::kDelete:
        deleteKeyAction();
        return;
    case PLRGalleryKeys::kSpace:
        if (m_galleryViewController)
            m_galleryViewController->togglePreviewPanel();
        return;
    default:
        break;
    }
    if (m_collectionView)
        m_collectionView->keyDown(event);
}

void PLRGalleryViewItem::hideKeyAction()
{
    if (m_galleryViewController)
        m_galleryViewController->performHideOnItem(nullptr);
}

void PLRGalleryViewItem::deleteKeyAction()
{
    if (PLRDefaults::shouldSupressImageItemDelete()) {
        hideKeyAction();
        return;
    }
    platform::Alert alert;
    alert.messageText = QStringLiteral("Deleting Images");
    alert.informativeText = QStringLiteral(
        "Deleting an Image places it in the 'hidden' image section. To view this section, open the filter menu and "
        "select 'Show Hidden Images'. If you want to actaully delete the image, do so in the Finder app.");
    alert.buttons = {QStringLiteral("Hide the Image"), QStringLiteral("Cancel")};
    alert.showsSuppressionButton = true;
    QPointer<PLRGalleryViewItem> self(this);
    const platform::AlertResult result = platform::runAlert(alert, m_view ? m_view->window() : nullptr);
    if (result.suppressed)
        PLRDefaults::setSupressImageDataDelete(true);
    if (self && result.response == platform::kAlertFirstButtonReturn)
        self->hideKeyAction();
}

void PLRGalleryViewItem::mouseDown(const MouseEvent& event)
{
    const Qt::KeyboardModifiers both = Qt::ControlModifier | Qt::ShiftModifier;
    if (event.clickCount == 1 && m_selected && (event.modifiers & both) == both) {
        if (m_collectionView)
            m_collectionView->deselectItems({m_indexPath});
        return;
    }
    if (event.clickCount == 2) {
        if (m_galleryViewController) {
            if (m_collectionView)
                m_collectionView->setCurrentEventModifiers(event.modifiers);
            m_galleryViewController->performDoubleClickOnItem(nullptr);
            if (m_collectionView)
                m_collectionView->clearCurrentEventModifiers();
        }
        return;
    }
    if (m_collectionView)
        m_collectionView->itemMouseDown(this, event);
}

// ---------------------------------------------------------------- view

PLRGalleryView::PLRGalleryView(QWidget* parent) : View(parent)
{
    m_loadingIndicator = new PLRGalleryLoadingIndicator(this);
    m_menu = new QMenu(this);
    m_addToPostMenuItem = m_menu->addAction(QStringLiteral("Add to Post"), this, [this] { addToPostAction(); });
    m_showHideMenuItem = m_menu->addAction(QStringLiteral("Hide"), this, [this] { showHideMenuAction(); });
    m_menu->addSeparator();
    m_showInFinderMenuItem = m_menu->addAction(QStringLiteral("Show in Folder"), this, [this] { showInFinderAction(); });
}

PLRGalleryView::~PLRGalleryView() = default;

void PLRGalleryView::setSelected(bool selected)
{
    m_selected = selected;
    update();
}

void PLRGalleryView::layoutSubviews()
{
    const QRectF b = bounds();
    m_loadingIndicator->setGeometry(QRect(int((b.width() - 20) / 2), int((b.height() - 20) / 2), 20, 20));
}

QRectF PLRGalleryView::referenceRect() const
{
    const QRectF b = bounds();
    PLRGalleryViewItem* item = m_galleryViewItem;
    if (!item || item->previewBlob().isNull())
        return b;
    const double longest = b.width() - 2.0;
    QSizeF size(longest, 0.6666 * longest);
    const PLRSourceImagePtr& photo = item->image();
    if (photo && photo->width() > 0.0f && photo->height() > 0.0f) {
        const QSizeF frame = photo->galleryDisplayFrameForLongestEdge(longest);
        if (frame.width() > 0.0 && frame.height() > 0.0 && std::isfinite(frame.width()) && std::isfinite(frame.height()))
            size = frame;
    }
    return QRectF(QPointF((b.width() - size.width()) / 2.0, (b.height() - size.height()) / 2.0), size);
}

const QImage& PLRGalleryView::scaledPicture(const QImage& picture, const QSizeF& size)
{
    const double ratio = devicePixelRatioF() > 0 ? devicePixelRatioF() : 1.0;
    const QSize pixels(std::max(1, int(std::lround(size.width() * ratio))), std::max(1, int(std::lround(size.height() * ratio))));
    if (m_scaledKey != picture.cacheKey() || m_scaledSize != pixels) {
        m_scaledKey = picture.cacheKey();
        m_scaledSize = pixels;
        if (picture.size() == pixels) {
            m_scaled = picture;
        } else {
            m_scaled = picture.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        }
        m_scaled.setDevicePixelRatio(ratio);
    }
    return m_scaled;
}

void PLRGalleryView::drawRect(GraphicsContext& context, const QRectF&)
{
    PLRGalleryViewItem* item = m_galleryViewItem;
    const QRectF b = bounds();
    const bool loading = item && item->loadingPreview();
    // 1. Progress.
    if (loading) {
        if (m_loadingIndicator->isHidden())
            m_loadingIndicator->show();
        m_loadingIndicator->startAnimation();
    } else if (!m_loadingIndicator->isHidden()) {
        m_loadingIndicator->stopAnimation();
        m_loadingIndicator->hide();
    }
    if (!item)
        return;
    const PLRSourceImagePtr photo = item->image();
    if (!photo)
        return;

    // 2. Picture and reference rectangle.
    const QRectF reference = referenceRect();
    const double fraction = photo->inLayout() ? 0.4 : 1.0;
    if (!item->previewBlob().isNull()) {
        context.drawImage(scaledPicture(item->previewBlob(), reference.size()), reference, {},
                          QPainter::CompositionMode_SourceOver, fraction);
    } else if (!loading) {
        const QImage placeholder = PLRImageManager::placeholderImage();
        const QSizeF size = pointSize(placeholder);
        context.drawImage(placeholder, QRectF(QPointF((b.width() - size.width()) / 2.0, (b.height() - size.height()) / 2.0), size),
                          {}, QPainter::CompositionMode_SourceOver, fraction);
    }

    // 3. Stars.
    const QImage star = PLRGalleryImages::named(m_useDarkContrast ? QStringLiteral("star-white") : QStringLiteral("star-selected"));
    const qint16 rating = photo->starRating();
    for (int k = 0; k < rating; ++k)
        context.drawImage(star, QRectF(reference.x() + 4.0 + 11.0 * k, reference.y() + reference.height() - 11.0, kStarSize, kStarSize));

    // 4. Colour label (none for a rating without a colour). On a narrow picture (a portrait) the
    // label would lie on the stars: it goes up beside them, one row higher.
    if (const auto colour = PLRColourLabels::colourForRating(photo->colourRating())) {
        QRectF spot(reference.x() + reference.width() - 11.0, reference.y() + reference.height() - 11.0, 7.0, 7.0);
        const double starsRight = reference.x() + 4.0 + 11.0 * (rating - 1) + kStarSize;
        if (rating > 0 && spot.left() - 1.0 < starsRight + 1.0)
            spot.translate(0.0, -11.0);
        QPainterPath dot;
        dot.addEllipse(spot);
        context.fillPath(dot, *colour);
        context.strokePath(dot, m_useDarkContrast ? Color::white() : Color::black(), 1.0);
    }

    // 5. A photo that cannot be used (its file gone, cut short or not readable): a red triangle in
    // the top right corner.
    if (photo->problem() != PLRPhotoProblem::None) {
        QPainterPath mark;
        mark.moveTo(reference.right(), reference.y());
        mark.lineTo(reference.right(), reference.y() + kMissingMarkLength);
        mark.lineTo(reference.right() - kMissingMarkLength, reference.y());
        mark.closeSubpath();
        context.fillPath(mark, ColorWithHex::smb_errorRed().withAlpha(0.6));
    }

    // 6. Selection frame.
    if (m_selected) {
        QPainterPath frame;
        frame.addRect(reference.adjusted(1.0, 0.0, -1.0, 0.0));
        context.strokePath(frame, ColorWithHex::smb_blueColour(), 2.0);
    }
}

bool PLRGalleryView::event(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return View::event(event);
    auto* help = static_cast<QHelpEvent*>(event);
    const PLRSourceImagePtr photo = m_galleryViewItem ? m_galleryViewItem->image() : nullptr;
    const QRectF picture = referenceRect();
    const QString reason = photo && picture.contains(help->pos()) ? describePhotoProblemOf(photo->fileName(), photo->problem())
                                                                  : QString();
    if (reason.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(help->globalPos(), reason, this, picture.toAlignedRect());
    }
    return true;
}

bool PLRGalleryView::isShowingFocusRing() const
{
    PLRGalleryViewItem* item = m_galleryViewItem;
    PLRGalleryCollectionView* collection = item ? item->collectionView() : nullptr;
    return collection && collection->isKeyboardPlace(item) && isVisible() && isEnabled();
}

void PLRGalleryView::mouseDown(const MouseEvent& event)
{
    if (m_galleryViewItem)
        m_galleryViewItem->mouseDown(event);
}

void PLRGalleryView::rightMouseDown(const MouseEvent& event)
{
    if (m_galleryViewItem)
        m_showHideMenuItem->setText(m_galleryViewItem->image() && m_galleryViewItem->image()->isHidden()
                                        ? QStringLiteral("Unhide") : QStringLiteral("Hide"));
    m_menu->popup(event.screenPoint.toPoint());
}

void PLRGalleryView::showHideMenuAction()
{
    if (m_galleryViewItem && m_galleryViewItem->galleryViewController())
        m_galleryViewItem->galleryViewController()->performHideOnItem(m_galleryViewItem);
}

void PLRGalleryView::addToPostAction()
{
    if (m_galleryViewItem && m_galleryViewItem->galleryViewController())
        m_galleryViewItem->galleryViewController()->performDoubleClickOnItem(m_galleryViewItem);
}

void PLRGalleryView::showInFinderAction()
{
    if (!m_galleryViewItem || !m_galleryViewItem->image())
        return;
    const PLRSourceImagePtr photo = m_galleryViewItem->image();
    if (photo->fileDeleted()) {
        platform::Alert alert;
        alert.messageText = QStringLiteral("Image Deleted");
        alert.informativeText = QStringLiteral("This image cannot currently be located in the source folder.");
        alert.buttons = {QStringLiteral("Ok")};
        platform::runAlert(alert, window());
        return;
    }
    platform::Workspace::shared().revealInFileManager({photo->path()});
}
