#include "panels/gallery/PLRGalleryHeaderView.h"

#include "controls/ColorWithHex.h"
#include "panels/gallery/PLRGalleryImages.h"
#include "platform-ui/Fonts.h"

using namespace platform::ui;

PLRGalleryHeaderView::PLRGalleryHeaderView(QWidget* parent) : PLRBackgroundColourView(parent)
{
    setBackgroundColour(ColorWithHex::smb_inspectorHeaderGrey());
    m_collapseButton = Button::withImage(PLRGalleryImages::disclosureTriangle(true), this,
                                         [this](Control*) { collapsedButtonAction(); }, this);
    m_collapseButton->setBordered(false);
    m_collapseButton->setShowsFocusRing(false);
    m_collapseButton->setFocusPolicy(Qt::NoFocus);
    m_titleLabel = TextField::labelWithString(QString(), this);
    m_titleLabel->setFont(boldSystemFont(11));
    m_titleLabel->setTextColor(namedColor(QStringLiteral("plrTextColor")));
    m_numberLabel = TextField::labelWithString(QString(), this);
    m_numberLabel->setFont(systemFont(11));
    m_numberLabel->setTextColor(namedColor(QStringLiteral("plrTextColorInactive")));
    resize(250, int(kHeight));
}

void PLRGalleryHeaderView::setCollapseButtonState(int state)
{
    m_buttonState = state;
    m_collapseButton->setImage(PLRGalleryImages::disclosureTriangle(state != 0));
}

void PLRGalleryHeaderView::collapsedButtonAction()
{
    m_collapsed = !m_collapsed;
    setCollapseButtonState(m_collapsed ? 0 : 1);
    if (m_target && m_selector)
        m_selector(this);
}

void PLRGalleryHeaderView::layoutSubviews()
{
    const QRectF b = bounds();
    m_collapseButton->setGeometry(QRect(6, int((b.height() - 18) / 2), 18, 18));
    const QSize title = m_titleLabel->sizeHint();
    m_titleLabel->setGeometry(QRect(26, int((b.height() - title.height()) / 2), title.width(), title.height()));
    const QSize number = m_numberLabel->sizeHint();
    m_numberLabel->setGeometry(QRect(26 + title.width() + 4, int((b.height() - number.height()) / 2), number.width(),
                                     number.height()));
}

void PLRGalleryHeaderView::drawRect(GraphicsContext& context, const QRectF&)
{
    const QRectF b = bounds();
    context.fillRect(b, ColorWithHex::smb_inspectorHeaderGrey());
    context.fillRect(QRectF(0, b.height() - 1, b.width(), 1), namedColor(QStringLiteral("plrControlBorderColor")));
}
