#include "layout/interaction/PLRLayoutBlockInteractionHandler.h"

#include "base/PLRLayoutImageProvider.h"
#include "base/PLRLayoutManager.h"
#include "layout/block_draw_handlers/PLRBlockDrawHandler_Image.h"
#include "layout/block_draw_handlers/PLRBlockDrawHandler_Text.h"
#include "layout/interaction/PLRLayoutDocumentView.h"
#include "layout/interaction/PLRLayoutInteractionView.h"
#include "layout/views/PLRBlockView.h"
#include "platform/Log.h"
#include "text/PLRRichText.h"
#include "text/PLRRichTextEditor.h"

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

void PLRLayoutBlockInteractionHandler_Image::setImageOrigin(const QPointF& origin)
{
    PLRBlock* imageBlock = block();
    const QRectF bounds = blockView() ? blockView()->bounds() : QRectF();
    const QRectF current = imageRect();
    if (!imageBlock || current.isEmpty() || bounds.isEmpty())
        return;
    // The photo stays over the whole block.
    const double x = std::clamp(origin.x(), std::min(0.0, bounds.width() - current.width()), 0.0);
    const double y = std::clamp(origin.y(), std::min(0.0, bounds.height() - current.height()), 0.0);
    PLRPosition* position = imageBlock->mutable_image()->mutable_position();
    position->set_x(float(x / bounds.width()));
    position->set_y(float(y / bounds.height()));
    position->set_width(float(current.width() / bounds.width()));
    if (PLRBlockDrawHandler* draw = blockView()->drawHandler())
        draw->invalidateDraw();
    if (canvas() && canvas()->documentView())
        canvas()->documentView()->update();
}

bool PLRLayoutBlockInteractionHandler_Image::mouseDown(const QPointF& point)
{
    if (!blockView() || !blockView()->frameInLayoutView().contains(point) || imageRect().isEmpty())
        return false;
    m_panning = true;
    m_pressPoint = point;
    m_startOrigin = imageRect().topLeft();
    return true;
}

void PLRLayoutBlockInteractionHandler_Image::mouseDragged(const QPointF& point)
{
    if (!m_panning)
        return;
    setImageOrigin(m_startOrigin + (point - m_pressPoint));
}

void PLRLayoutBlockInteractionHandler_Image::mouseUp(const QPointF& point)
{
    if (!m_panning)
        return;
    setImageOrigin(m_startOrigin + (point - m_pressPoint));
    m_panning = false;
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
    QPen pen(QColor(0x21, 0x9D, 0xFF), 1.0, Qt::DashLine);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(photoInView.adjusted(0.5, 0.5, -0.5, -0.5));
    painter.restore();
}

// --- Text --------------------------------------------------------------------------------------

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
    Qt::Alignment alignment = Qt::AlignLeft;
    switch (text.position().alignment()) {
    case PLRPosition::CENTRE: alignment = Qt::AlignHCenter; break;
    case PLRPosition::RIGHT: alignment = Qt::AlignRight; break;
    case PLRPosition::JUSTIFY: alignment = Qt::AlignJustify; break;
    default: break;
    }
    editor->setTextAlignment(alignment);
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
