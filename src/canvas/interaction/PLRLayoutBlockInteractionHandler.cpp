#include "canvas/interaction/PLRLayoutBlockInteractionHandler.h"

#include "layout/base/PLRLayoutImageProvider.h"
#include "layout/base/PLRLayoutManager.h"
#include "layout/block_draw_handlers/PLRBlockDrawHandler_Image.h"
#include "layout/block_draw_handlers/PLRBlockDrawHandler_Text.h"
#include "canvas/interaction/PLRLayoutDocumentView.h"
#include "canvas/interaction/PLRLayoutInteractionView.h"
#include "layout/section_layout_handlers/PLRStackedSectionSolver.h"
#include "layout/views/PLRBlockView.h"
#include "layout/views/PLRLayoutViewProxy.h"
#include "platform/Log.h"
#include "layout/text/PLRRichText.h"
#include "canvas/text/PLRRichTextEditor.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

PLRLayoutBlockInteractionHandler::PLRLayoutBlockInteractionHandler(PLRBlockView* view, PLRLayoutInteractionView* canvas)
    : m_view(view), m_canvas(canvas)
{
}

PLRLayoutBlockInteractionHandler::~PLRLayoutBlockInteractionHandler() = default;

std::unique_ptr<PLRLayoutBlockInteractionHandler> PLRLayoutBlockInteractionHandler::handlerForBlockView(PLRBlockView* view,
                                                                                                      PLRLayoutInteractionView* canvas)
{
    if (!view)
        return nullptr;
    switch (view->blockKind()) {
    case plr::kBlockKindImage: return std::make_unique<PLRLayoutBlockInteractionHandler_Image>(view, canvas);
    case plr::kBlockKindText: return std::make_unique<PLRLayoutBlockInteractionHandler_Text>(view, canvas);
    case plr::kBlockKindBlank: return std::make_unique<PLRLayoutBlockInteractionHandler_Blank>(view, canvas);
    default: return nullptr;
    }
}

PLRBlock* PLRLayoutBlockInteractionHandler::block() const
{
    return m_view ? m_view->representedBlock() : nullptr;
}

PLRLayoutManager* PLRLayoutBlockInteractionHandler::layoutManager() const
{
    return m_view ? m_view->layoutManager() : nullptr;
}

double PLRLayoutBlockInteractionHandler::layoutLength(double viewPixels) const
{
    const double magnification = m_canvas ? m_canvas->magnification() : 1.0;
    return magnification > 0.0 ? viewPixels / magnification : viewPixels;
}

// --- Image -------------------------------------------------------------------------------------

QRectF PLRLayoutBlockInteractionHandler_Image::imageRect() const
{
    PLRBlock* imageBlock = block();
    PLRLayoutManager* manager = layoutManager();
    PLRLayoutImageProvider* provider = manager ? manager->imageProvider() : nullptr;
    if (!imageBlock || !imageBlock->has_image() || !provider)
        return {};
    const QString identifier = QString::fromStdString(imageBlock->image().img_ref());
    const QSizeF size = provider->imageSize(identifier);
    const PLRBlock_Image& image = imageBlock->image();
    return PLRBlockDrawHandler_Image::imageRectInBlock(blockView()->bounds(), size, image.has_position() ? &image.position() : nullptr);
}

QPointF PLRLayoutBlockInteractionHandler_Image::toBlock(const QPointF& point) const
{
    return blockView() ? point - blockView()->frameInLayoutView().topLeft() : point;
}

void PLRLayoutBlockInteractionHandler_Image::setImageOrigin(const QPointF& origin)
{
    const QRectF current = imageRect();
    if (current.isEmpty())
        return;
    setImageRect(QRectF(origin, current.size()));
}

void PLRLayoutBlockInteractionHandler_Image::setImageRect(const QRectF& rect)
{
    PLRBlock* imageBlock = block();
    const QRectF bounds = blockView() ? blockView()->bounds() : QRectF();
    const QRectF current = imageRect();
    if (!imageBlock || current.isEmpty() || bounds.isEmpty() || !std::isfinite(rect.x()) || !std::isfinite(rect.y())
        || !std::isfinite(rect.width()))
        return;
    // The photo covers the whole block and is never scaled beyond the maximum.
    const double ratio = current.width() / current.height();
    const double fill = std::max(bounds.width(), bounds.height() * ratio);
    const double width = std::clamp(rect.width(), fill, fill * kMaximumScale);
    const double height = width / ratio;
    const double x = std::clamp(rect.x(), std::min(0.0, bounds.width() - width), 0.0);
    const double y = std::clamp(rect.y(), std::min(0.0, bounds.height() - height), 0.0);
    PLRPosition* position = imageBlock->mutable_image()->mutable_position();
    position->set_x(float(x / bounds.width()));
    position->set_y(float(y / bounds.height()));
    position->set_width(float(width / bounds.width()));
    if (PLRBlockDrawHandler* draw = blockView()->drawHandler())
        draw->invalidateDraw();
    if (canvas() && canvas()->documentView())
        canvas()->documentView()->update();
}

int PLRLayoutBlockInteractionHandler_Image::cornerAt(const QPointF& point) const
{
    const QRectF bounds = blockView() ? blockView()->bounds() : QRectF();
    if (bounds.isEmpty() || imageRect().isEmpty())
        return -1;
    const QPointF local = toBlock(point);
    const double reach = layoutLength(kHandleSize);
    const QPointF corners[] = {bounds.topLeft(), bounds.topRight(), bounds.bottomRight(), bounds.bottomLeft()};
    for (int i = 0; i < 4; ++i) {
        if (std::abs(local.x() - corners[i].x()) <= reach && std::abs(local.y() - corners[i].y()) <= reach)
            return i;
    }
    return -1;
}

bool PLRLayoutBlockInteractionHandler_Image::cursorAt(const QPointF& point, Qt::CursorShape* shape) const
{
    if (!shape)
        return false;
    const int corner = cornerAt(point);
    if (corner >= 0) {
        *shape = (corner == 0 || corner == 2) ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor;
        return true;
    }
    if (blockView() && blockView()->frameInLayoutView().contains(point)) {
        *shape = m_drag == Drag::Pan ? Qt::ClosedHandCursor : Qt::OpenHandCursor;
        return true;
    }
    return false;
}

bool PLRLayoutBlockInteractionHandler_Image::mouseDown(const QPointF& point)
{
    if (!blockView() || imageRect().isEmpty())
        return false;
    m_corner = cornerAt(point);
    if (m_corner >= 0)
        m_drag = Drag::Resize;
    else if (blockView()->frameInLayoutView().contains(point))
        m_drag = Drag::Pan;
    else
        return false;
    m_pressPoint = point;
    m_startRect = imageRect();
    m_snapX = m_snapY = false;
    return true;
}

// The photo's top-left corner once its centre has snapped to the block's centre lines.
QPointF PLRLayoutBlockInteractionHandler_Image::snapped(const QRectF& rect)
{
    const QRectF bounds = blockView() ? blockView()->bounds() : QRectF();
    const double reach = layoutLength(kSnapDistance);
    QPointF origin = rect.topLeft();
    const QPointF offset = bounds.center() - rect.center();
    m_snapX = std::abs(offset.x()) <= reach && rect.width() > bounds.width();
    m_snapY = std::abs(offset.y()) <= reach && rect.height() > bounds.height();
    if (m_snapX)
        origin.rx() += offset.x();
    if (m_snapY)
        origin.ry() += offset.y();
    return origin;
}

void PLRLayoutBlockInteractionHandler_Image::mouseDragged(const QPointF& point)
{
    const QPointF delta = point - m_pressPoint;
    switch (m_drag) {
    case Drag::None:
        return;
    case Drag::Pan: {
        const QRectF moved = m_startRect.translated(delta);
        setImageRect(QRectF(snapped(moved), moved.size()));
        return;
    }
    case Drag::Resize: {
        // The photo scales about the block's centre (the point of the photo there stays) by how
        // much farther from the centre the pointer is than where it was pressed.
        const QRectF bounds = blockView()->bounds();
        const QPointF centre = bounds.center();
        const QPointF pressed = toBlock(m_pressPoint) - centre;
        const QPointF now = toBlock(point) - centre;
        const double from = std::hypot(pressed.x(), pressed.y());
        if (!(from > 0.0))
            return;
        const double ratio = m_startRect.width() / m_startRect.height();
        const double fill = std::max(bounds.width(), bounds.height() * ratio);
        const double width = std::clamp(m_startRect.width() * std::hypot(now.x(), now.y()) / from, fill, fill * kMaximumScale);
        const double factor = width / m_startRect.width();
        const QPointF origin = centre - (centre - m_startRect.topLeft()) * factor;
        const QRectF scaled(origin, QSizeF(width, width / ratio));
        setImageRect(QRectF(snapped(scaled), scaled.size()));
        return;
    }
    }
}

void PLRLayoutBlockInteractionHandler_Image::mouseUp(const QPointF& point)
{
    if (m_drag == Drag::None)
        return;
    mouseDragged(point);
    m_drag = Drag::None;
    m_corner = -1;
    m_snapX = m_snapY = false;
}

void PLRLayoutBlockInteractionHandler_Image::drawEditDecorations(QPainter& painter, const QRectF& frame)
{
    PLRBlock* imageBlock = block();
    PLRLayoutManager* manager = layoutManager();
    PLRLayoutImageProvider* provider = manager ? manager->imageProvider() : nullptr;
    const QRectF bounds = blockView() ? blockView()->bounds() : QRectF();
    const QRectF photo = imageRect();
    if (!imageBlock || !provider || photo.isEmpty() || bounds.isEmpty())
        return;
    const double scale = frame.width() / bounds.width();
    const QRectF photoInView(frame.topLeft() + photo.topLeft() * scale, photo.size() * scale);
    // The cropped-away part of the photo, faint, around the block.
    const QImage picture = provider->exportImage(QString::fromStdString(imageBlock->image().img_ref()));
    if (!picture.isNull()) {
        QPainterPath outside;
        outside.addRect(photoInView);
        QPainterPath inside;
        inside.addRect(frame);
        painter.save();
        painter.setClipPath(outside.subtracted(inside));
        painter.setOpacity(painter.opacity() * 0.35);
        painter.drawImage(photoInView, picture);
        painter.restore();
    }
    painter.save();
    const QColor accent(0x21, 0x9D, 0xFF);
    QPen pen(accent, 1.0, Qt::DashLine);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(photoInView.adjusted(0.5, 0.5, -0.5, -0.5));
    // The centre lines the photo snapped to.
    if (m_snapX)
        painter.drawLine(QPointF(frame.center().x(), frame.top()), QPointF(frame.center().x(), frame.bottom()));
    if (m_snapY)
        painter.drawLine(QPointF(frame.left(), frame.center().y()), QPointF(frame.right(), frame.center().y()));
    // The corner handles that scale the photo.
    painter.setPen(QPen(accent, 1.0));
    painter.setBrush(Qt::white);
    const double half = kHandleSize / 2.0;
    for (const QPointF& corner : {frame.topLeft(), frame.topRight(), frame.bottomRight(), frame.bottomLeft()})
        painter.drawRect(QRectF(corner.x() - half, corner.y() - half, kHandleSize, kHandleSize));
    painter.restore();
}

// --- Text --------------------------------------------------------------------------------------

namespace {

Qt::Alignment editorAlignment(const PLRBlock_Text& text)
{
    switch (text.position().alignment()) {
    case PLRPosition::CENTRE: return Qt::AlignHCenter;
    case PLRPosition::RIGHT: return Qt::AlignRight;
    case PLRPosition::JUSTIFY: return Qt::AlignJustify;
    default: return Qt::AlignLeft;
    }
}

} // namespace

PLRLayoutBlockInteractionHandler_Text::~PLRLayoutBlockInteractionHandler_Text()
{
    delete m_editor.data();
}

void PLRLayoutBlockInteractionHandler_Text::setTextViewDelegate(PLRRichTextEditorDelegate* delegate)
{
    m_delegate = delegate;
    QObject* object = dynamic_cast<QObject*>(delegate);
    m_delegateObject = object;
    m_delegateIsObject = object != nullptr;
    if (m_editor)
        m_editor->setRteDelegate(delegate);
}

void PLRLayoutBlockInteractionHandler_Text::editModeDidBegin()
{
    PLRBlock* textBlock = block();
    if (!textBlock || !textBlock->has_text() || !canvas() || m_editor)
        return;
    const PLRBlock_Text& text = textBlock->text();
    auto* editor = new PLRRichTextEditor(canvas());
    m_editor = editor;
    editor->setTextStyle(text.style());
    editor->setTextAlignment(editorAlignment(text));
    PLRLayoutManager* manager = layoutManager();
    QPalette palette = editor->palette();
    const QColor background = manager ? PLRLayoutManager::backgroundColourForLayout(*manager->representedLayout()).toQColor()
                                      : QColor(Qt::white);
    palette.setColor(QPalette::Base, background);
    palette.setColor(QPalette::Window, background);
    editor->setPalette(palette);
    editor->setAutoFillBackground(true);
    canvasGeometryChanged();   // the font at the canvas's scale
    editor->setRichText(PLRRichTextHTML::richTextOfBlock(text));
    placeEditor();   // as tall as the text
    if (m_delegateIsObject && !m_delegateObject)
        m_delegate = nullptr;
    editor->setRteDelegate(m_delegate);
    QObject::connect(editor, &PLRRichTextEditor::formattedTextChanged, editor, [this] { writeEditorTextToBlock(); });
    QPointer<PLRLayoutInteractionView> view = canvas();
    QObject::connect(editor, &PLRRichTextEditor::editingFinished, editor, [view] {
        if (view)
            view->setEditBlock(nullptr);
    });
    editor->show();
    editor->raise();
    editor->setFocus(Qt::MouseFocusReason);
}

void PLRLayoutBlockInteractionHandler_Text::editModeDidEnd()
{
    if (!m_editor)
        return;
    writeEditorTextToBlock();
    PLRRichTextEditor* editor = m_editor;
    m_editor = nullptr;
    QObject::disconnect(editor, nullptr, editor, nullptr);
    const bool hadFocus = editor->hasFocus();
    editor->hide();
    if (hadFocus && canvas())
        canvas()->setFocus(Qt::OtherFocusReason);   // the canvas's keys work again
    editor->deleteLater();
}

void PLRLayoutBlockInteractionHandler_Text::writeEditorTextToBlock()
{
    PLRBlock* textBlock = block();
    PLRLayoutManager* manager = layoutManager();
    if (!m_editor || !textBlock || !textBlock->has_text() || !manager || m_writing)
        return;
    m_writing = true;
    PLRBlock_Text* text = textBlock->mutable_text();
    const std::string oldValue = text->value();
    const std::string oldHTML = text->html();
    PLRRichTextHTML::setRichTextOfBlock(text, m_editor->richText());
    if (text->value() != oldValue || text->html() != oldHTML) {
        if (PLRBlockDrawHandler* draw = blockView()->drawHandler())
            draw->invalidateDraw();
        manager->announceChange();
    }
    m_writing = false;
}

void PLRLayoutBlockInteractionHandler_Text::canvasGeometryChanged()
{
    PLRBlock* textBlock = block();
    if (!m_editor || !textBlock || !textBlock->has_text() || !canvas())
        return;
    QFont font = PLRBlockDrawHandler_Text::fontForStyle(textBlock->text().style());
    const double scale = canvas()->magnification();
    font.setPixelSize(std::max(1, int(std::lround(font.pixelSize() * scale))));
    if (m_editor->font() != font)
        m_editor->setBaseFont(font, PLRBlockDrawHandler_Text::textColour());
    // The block's alignment, changed in the inspector while the text is being edited.
    const Qt::Alignment alignment = editorAlignment(textBlock->text());
    if (m_editor->document()->defaultTextOption().alignment() != alignment)
        m_editor->setTextAlignment(alignment);
    placeEditor();
}

void PLRLayoutBlockInteractionHandler_Text::placeEditor()
{
    PLRBlock* textBlock = block();
    if (!m_editor || !textBlock || !canvas())
        return;
    const QRectF frame = canvas()->viewRectForBlock(textBlock);
    if (frame.isEmpty())
        return;
    const double scale = canvas()->magnification();
    const QRectF inBlock = PLRBlockDrawHandler_Text::textRectInBlock(QRectF(QPointF(0, 0), frame.size() / scale), textBlock->text());
    const QRectF area(frame.topLeft() + inBlock.topLeft() * scale, inBlock.size() * scale);
    const int width = std::max(1, int(std::lround(area.width())));
    m_editor->document()->setTextWidth(width);
    const double contentHeight = m_editor->document()->size().height();
    const int height = std::max(1, int(std::ceil(std::max(area.height(), contentHeight))));
    m_editor->setGeometry(QRect(int(std::lround(area.x())), int(std::lround(area.y())), width, height));
}

void PLRLayoutBlockInteractionHandler_Text::toggleCurrentSelectionBold()
{
    if (m_editor)
        m_editor->toggleBold();
    else
        PLR_LOG_DEBUG(QStringLiteral("Bold: the text block is not being edited"));
}

void PLRLayoutBlockInteractionHandler_Text::toggleCurrentSelectionItalic()
{
    if (m_editor)
        m_editor->toggleItalic();
    else
        PLR_LOG_DEBUG(QStringLiteral("Italic: the text block is not being edited"));
}

void PLRLayoutBlockInteractionHandler_Text::toggleCurrentSelectionUnderline()
{
    if (m_editor)
        m_editor->toggleUnderline();
    else
        PLR_LOG_DEBUG(QStringLiteral("Underline: the text block is not being edited"));
}

void PLRLayoutBlockInteractionHandler_Text::toggleCurrentSelectionLink()
{
    if (m_editor)
        m_editor->toggleLink();
    else
        PLR_LOG_DEBUG(QStringLiteral("Link: the text block is not being edited"));
}

// --- Blank -------------------------------------------------------------------------------------

QRectF PLRLayoutBlockInteractionHandler_Blank::handleRect() const
{
    if (!blockView())
        return {};
    const QRectF frame = blockView()->frameInLayoutView();
    if (frame.isEmpty())
        return {};
    const double height = layoutLength(kHandleSize);
    const double width = std::min(frame.width(), layoutLength(kHandleSize * 4.0));
    return QRectF(frame.center().x() - width / 2.0, frame.bottom() - height / 2.0, width, height);
}

void PLRLayoutBlockInteractionHandler_Blank::setHeight(double height)
{
    PLRBlock* blank = block();
    if (!blank || !blockView() || !std::isfinite(height))
        return;
    const double width = blockView()->frameInLayoutView().width();
    if (!(width > 0.0))
        return;
    const double ratio = std::clamp(width / std::max(height, kMinimumHeight), plr::layout::kMinimumRatio,
                                    plr::layout::kMaximumRatio);
    if (std::abs(double(blank->aspect_ratio()) - ratio) < 1e-6)
        return;
    blank->set_aspect_ratio(float(ratio));
    if (PLRLayoutViewProxy* proxy = canvas() ? canvas()->layoutViewProxy() : nullptr)
        proxy->layoutDidChange();
}

bool PLRLayoutBlockInteractionHandler_Blank::cursorAt(const QPointF& point, Qt::CursorShape* shape) const
{
    if (!shape || !handleRect().contains(point))
        return false;
    *shape = Qt::SizeVerCursor;
    return true;
}

bool PLRLayoutBlockInteractionHandler_Blank::mouseDown(const QPointF& point)
{
    if (!handleRect().contains(point))
        return false;
    m_resizing = true;
    m_pressY = point.y();
    m_startHeight = blockView()->frameInLayoutView().height();
    return true;
}

void PLRLayoutBlockInteractionHandler_Blank::mouseDragged(const QPointF& point)
{
    if (m_resizing)
        setHeight(m_startHeight + (point.y() - m_pressY));
}

void PLRLayoutBlockInteractionHandler_Blank::mouseUp(const QPointF& point)
{
    if (!m_resizing)
        return;
    setHeight(m_startHeight + (point.y() - m_pressY));
    m_resizing = false;
}

void PLRLayoutBlockInteractionHandler_Blank::drawEditDecorations(QPainter& painter, const QRectF& frame)
{
    if (frame.isEmpty())
        return;
    const QColor accent(0x21, 0x9D, 0xFF);
    painter.save();
    // The spacer's extent, and the grab handle on its bottom edge.
    QColor fill = accent;
    fill.setAlpha(28);
    painter.fillRect(frame, fill);
    const double width = std::min(frame.width(), kHandleSize * 4.0);
    const QRectF handle(frame.center().x() - width / 2.0, frame.bottom() - kHandleSize / 2.0, width, kHandleSize);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(accent, 1.0));
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(handle, kHandleSize / 2.0, kHandleSize / 2.0);
    painter.restore();
}
