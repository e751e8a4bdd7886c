#include "controls/PLRHelpButton.h"

#include "controls/KitHelpers.h"
#include "platform/Log.h"
#include "platform/Workspace.h"
#include "platform-ui/Cursor.h"
#include "platform-ui/Fonts.h"
#include "platform-ui/Images.h"

#include <cmath>

using namespace platform::ui;

// ---------------------------------------------------------------- bubble

PLRTooltipBackgroundView::PLRTooltipBackgroundView(QWidget* parent)
    : View(parent),
      m_tl(namedImage(QStringLiteral("tooltip-tl"))), m_tm(namedImage(QStringLiteral("tooltip-tm"))),
      m_tr(namedImage(QStringLiteral("tooltip-tr"))), m_r(namedImage(QStringLiteral("tooltip-r"))),
      m_l(namedImage(QStringLiteral("tooltip-l"))), m_br(namedImage(QStringLiteral("tooltip-br"))),
      m_bm(namedImage(QStringLiteral("tooltip-bm"))), m_bl(namedImage(QStringLiteral("tooltip-bl"))),
      m_c(namedImage(QStringLiteral("tooltip-c")))
{
}

void PLRTooltipBackgroundView::drawRect(GraphicsContext& context, const QRectF& rect)
{
    // Nine parts, not flipped (y up): the corners at their sizes, the edges stretched along
    // their side, the centre filling the rest.
    const QSizeF tl = pointSize(m_tl), tr = pointSize(m_tr), bl = pointSize(m_bl), br = pointSize(m_br);
    const double left = rect.left(), right = rect.right(), bottom = rect.top(), top = rect.bottom();
    context.drawImage(m_bl, QRectF(left, bottom, bl.width(), bl.height()));
    context.drawImage(m_br, QRectF(right - br.width(), bottom, br.width(), br.height()));
    context.drawImage(m_tl, QRectF(left, top - tl.height(), tl.width(), tl.height()));
    context.drawImage(m_tr, QRectF(right - tr.width(), top - tr.height(), tr.width(), tr.height()));
    context.drawImage(m_bm, QRectF(left + bl.width(), bottom, rect.width() - bl.width() - br.width(), pointSize(m_bm).height()));
    context.drawImage(m_tm, QRectF(left + tl.width(), top - pointSize(m_tm).height(), rect.width() - tl.width() - tr.width(),
                                   pointSize(m_tm).height()));
    context.drawImage(m_l, QRectF(left, bottom + bl.height(), pointSize(m_l).width(), rect.height() - bl.height() - tl.height()));
    context.drawImage(m_r, QRectF(right - pointSize(m_r).width(), bottom + br.height(), pointSize(m_r).width(),
                                  rect.height() - br.height() - tr.height()));
    context.drawImage(m_c, QRectF(left + pointSize(m_l).width(), bottom + pointSize(m_bm).height(),
                                  rect.width() - pointSize(m_l).width() - pointSize(m_r).width(),
                                  rect.height() - pointSize(m_bm).height() - pointSize(m_tm).height()));
}

// ---------------------------------------------------------------- help button

PLRHelpButton::PLRHelpButton(QWidget* parent)
    : Button(parent),
      m_helpButton(namedImage(QStringLiteral("help-button"))),
      m_helpButtonHover(namedImage(QStringLiteral("help-button-hover"))),
      m_toolTipColor(namedColor(QStringLiteral("plrTooltipColor")))
{
    setBordered(false);
}

PLRHelpButton::~PLRHelpButton() = default;

void PLRHelpButton::awakeFromNib()
{
    addTrackingArea(bounds(), TrackingMouseEnteredAndExited | TrackingActiveAlways | TrackingInVisibleRect
                                  | TrackingEnabledDuringMouseDrag);
    const QString tip = toolTip();
    m_toolTipText = tip.isNull() ? std::nullopt : std::optional<QString>(tip);
    setToolTip(QString());
}

void PLRHelpButton::drawRect(GraphicsContext& context, const QRectF&)
{
    const QImage& image = m_mouseInside ? m_helpButtonHover : m_helpButton;
    context.drawImage(image, integralRect(QRectF(QPointF(0, 2), pointSize(m_helpButton))));
}

void PLRHelpButton::mouseEntered(const MouseEvent&)
{
    m_mouseInside = true;
    repaint();
    if (m_hasHelpLink)
        Cursor::pointingHandCursor().set();
    showTooltipWindow();
}

void PLRHelpButton::mouseExited(const MouseEvent&)
{
    m_mouseInside = false;
    Cursor::arrowCursor().set();
    repaint();
    if (m_tooltipWindow)
        m_tooltipWindow->close();
}

void PLRHelpButton::mouseDown(const MouseEvent&)
{
    if (!m_hasHelpLink)
        return;
    const QUrl url(m_helpLink, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative()) {
        PLR_LOG_WARN(QStringLiteral("The help link \"%1\" is not an address; nothing is opened").arg(m_helpLink));
        return;
    }
    platform::Workspace::shared().openURL(url);
}

void PLRHelpButton::showTooltipWindow()
{
    if (!m_toolTipText)
        return;
    // The anchor: the button's origin on the screen (y up).
    const QPointF global = mapToGlobal(toQt(QPointF(0, 0)));
    const QPointF anchor = Window::screenRectFromQt(QRectF(global, QSizeF(0, 0))).topLeft();

    const AttributedString text(*m_toolTipText, {{kFontAttributeName, systemFont(fontSize)},
                                                 {kForegroundColorAttributeName, QVariant::fromValue(Color::white())}});
    const double height = ::heightForWidth(text, m_width - 2 * hPadding);
    if (height <= singleLineHeight)
        m_width = ::widthForHeight(text, singleLineHeight) + 2 * hPadding;
    const double w = m_width;
    const QRectF content(anchor.x() - w + toolTipXOffset, anchor.y() + pointSize(m_helpButton).height() + toolTipYOffset,
                         w + 2 * tooltipXMargin, height + 2 * tooltipYMargin + 2 * vPadding);

    auto window = std::make_unique<Window>(content, WindowStyleBorderless);
    // Shown without being activated and never in the mouse's way: the focus stays where it is,
    // and the pointer over the part of the button the window covers stays the button's (a window
    // that took it there would make the button close it at once). The widget attribute alone
    // leaves the window system's window taking the pointer; the window flag does not.
    window->setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus
                           | Qt::WindowTransparentForInput);
    window->setAttribute(Qt::WA_ShowWithoutActivating);
    window->setAttribute(Qt::WA_TransparentForMouseEvents);
    window->setAttribute(Qt::WA_TranslucentBackground);
    window->setFrame(content, false);
    View* contentView = window->contentView();
    auto* bubble = new PLRTooltipBackgroundView(contentView);
    bubble->setFrame(contentView->bounds());
    bubble->setAutoresizingMask(ViewWidthSizable | ViewHeightSizable);
    window->setTitle(QStringLiteral("Pellora Tooltip"));
    window->setBackgroundColor(Color::clear());
    auto* textView = new TextView(contentView);
    textView->setBackgroundColor(m_toolTipColor);
    textView->setTextStorage(text);
    textView->setEditable(false);
    textView->setDrawsBackground(true);
    textView->setFrame(QRectF(tooltipXMargin + hPadding, 1 + vPadding + tooltipYMargin, w - 2 * hPadding, height));
    textView->setAttribute(Qt::WA_TransparentForMouseEvents);
    window->show();
    m_textView = textView;
    m_tooltipWindow = std::move(window);
}
