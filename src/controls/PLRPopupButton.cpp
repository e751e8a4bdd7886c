#include "controls/PLRPopupButton.h"

#include "platform-ui/Fonts.h"
#include "platform-ui/Images.h"
#include "platform/Resets.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMenu>

#include <cmath>
using namespace platform::ui;

namespace {

PLRPopupButton::MenuPresenter& menuPresenter()
{
    static PLRPopupButton::MenuPresenter presenter;
    static const bool joined = platform::resets::add([] { presenter = nullptr; });
    Q_UNUSED(joined);
    return presenter;
}

} // namespace

PLRPopupButton::PLRPopupButton(QWidget* parent) : Control(parent)
{
    m_borderColor = namedColor(QStringLiteral("plrControlBorderColor"));
    // Reached by Tab, as the kit's buttons are (a click leaves the focus where it was).
    setFocusPolicy(Qt::TabFocus);
}

PLRPopupButton::~PLRPopupButton()
{
    delete m_menu;
}

void PLRPopupButton::setMenuPresenter(MenuPresenter presenter)
{
    menuPresenter() = std::move(presenter);
}

void PLRPopupButton::awakeFromNib()
{
    const QRectF f = frame();
    setFrame(QRectF(f.x(), f.y(), f.width(), kHeight));
    setFrame(QRectF(f.x(), f.y() - 5.0, f.width(), kHeight));
}

void PLRPopupButton::setButtonStyle(qint64 style)
{
    m_buttonStyle = style;
    if (style == 1)
        m_borderColor = namedColor(QStringLiteral("plrControlBgColor"));
    updateGeometry();
    update();
}

void PLRPopupButton::addItem(const QString& title, qint64 tag)
{
    m_items.append({title, tag, false});
    if (m_selected < 0 && m_shownTitle.isEmpty())
        m_selected = int(m_items.size()) - 1;
    updateGeometry();
    update();
}

void PLRPopupButton::removeAllItems()
{
    m_items.clear();
    m_selected = -1;
    updateGeometry();
    update();
}

QString PLRPopupButton::itemTitle(int index) const
{
    return index >= 0 && index < m_items.size() ? m_items[index].title : QString();
}

qint64 PLRPopupButton::itemTag(int index) const
{
    return index >= 0 && index < m_items.size() ? m_items[index].tag : -1;
}

void PLRPopupButton::addSeparatorItem()
{
    Item item;
    item.separator = true;
    m_items.append(item);
}

bool PLRPopupButton::isSeparatorItem(int index) const
{
    return index >= 0 && index < m_items.size() && m_items[index].separator;
}

int PLRPopupButton::indexOfItemWithTag(qint64 tag) const
{
    for (int i = 0; i < m_items.size(); ++i)
        if (!m_items[i].separator && m_items[i].tag == tag)
            return i;
    return -1;
}

bool PLRPopupButton::itemState(int index) const
{
    return index >= 0 && index < m_items.size() && m_items[index].on;
}

void PLRPopupButton::setItemState(int index, bool on)
{
    if (index >= 0 && index < m_items.size())
        m_items[index].on = on;
}

void PLRPopupButton::selectItemAtIndex(int index)
{
    // The selected item carries the on mark (its menu shows
    // which choice is current) and the item selected before loses it.
    if (m_selected >= 0 && m_selected < m_items.size())
        m_items[m_selected].on = false;
    m_selected = (index >= 0 && index < m_items.size()) ? index : -1;
    if (m_selected >= 0)
        m_items[m_selected].on = true;
    m_shownTitle.clear();
    update();
}

bool PLRPopupButton::selectItemWithTag(qint64 tag)
{
    const int index = indexOfItemWithTag(tag);
    if (index < 0)
        return false;
    selectItemAtIndex(index);
    return true;
}

qint64 PLRPopupButton::selectedTag() const
{
    return m_selected >= 0 ? m_items[m_selected].tag : -1;
}

QString PLRPopupButton::title() const
{
    return m_selected >= 0 ? m_items[m_selected].title : m_shownTitle;
}

void PLRPopupButton::setTitle(const QString& title)
{
    for (int i = 0; i < m_items.size(); ++i) {
        if (!m_items[i].separator && m_items[i].title == title) {
            selectItemAtIndex(i);
            return;
        }
    }
    if (m_selected >= 0 && m_selected < m_items.size())
        m_items[m_selected].on = false;
    m_selected = -1;
    const bool wider = widthForTitle(title) > widthForTitles();
    m_shownTitle = title;
    if (wider)
        updateGeometry();
    update();
}

void PLRPopupButton::chooseItemAtIndex(int index)
{
    if (index < 0 || index >= m_items.size() || m_items[index].separator)
        return;
    selectItemAtIndex(index);
    sendAction();
}

int PLRPopupButton::widthForTitle(const QString& title) const
{
    if (title.isEmpty())
        return 0;
    const QString text = m_buttonStyle == 2 ? title + QStringLiteral(" Ratio") : title;
    const double advance = QFontMetricsF(systemFont(12)).horizontalAdvance(text);
    return int(std::ceil(kTitleInset + advance + kTitleGap + kArrowInset));
}

int PLRPopupButton::widthForTitles() const
{
    int width = widthForTitle(m_shownTitle);
    for (const Item& item : m_items)
        if (!item.separator)
            width = std::max(width, widthForTitle(item.title));
    return width;
}

QSize PLRPopupButton::sizeHint() const
{
    return QSize(std::max(120, widthForTitles()), int(kHeight));
}

QSize PLRPopupButton::minimumSizeHint() const
{
    return QSize(std::max(int(kTitleInset + kArrowInset), widthForTitles()), int(kHeight));
}

void PLRPopupButton::drawRect(GraphicsContext& context, const QRectF&)
{
    // The whole bounds, so that a partial redraw leaves no border inside the control.
    const QRectF r = bounds();
    context.fillRect(r, Color::white());
    QPainterPath outline;
    outline.addRect(r);
    context.strokePath(outline, m_borderColor, 2.0);

    const QImage arrow = namedImage(QStringLiteral("popup-button-arrow"));
    if (!arrow.isNull()) {
        const QSizeF size = pointSize(arrow);
        const QRectF rect(r.width() - kArrowInset, r.y() + r.height() * 0.5 - size.height() * 0.5, size.width(), size.height());
        const QRectF integral(std::floor(rect.x()), std::floor(rect.y()), std::ceil(rect.right()) - std::floor(rect.x()),
                              std::ceil(rect.bottom()) - std::floor(rect.y()));
        context.drawImage(arrow, integral, {}, QPainter::CompositionMode_SourceOver, isEnabled() ? 1.0 : 0.4);
    }

    QString text = title();
    if (m_selected < 0 && text.isEmpty())
        return;
    if (m_buttonStyle == 2)
        text += QStringLiteral(" Ratio");
    const Color colour = namedColor(isEnabled() ? QStringLiteral("plrTextColor") : QStringLiteral("plrTextControlDisabled"));
    ParagraphStyle paragraph;
    paragraph.alignment = TextAlignment::Left;
    const double w = width();
    const double h = height();
    // The title's box is as wide as the control and starts 12 points in: a long title runs
    // under the arrow, one wider than the control wraps, and the control's edge cuts what lies
    // beyond it. Nothing is shortened with an ellipsis.
    const AttributedString string(text, {{kFontAttributeName, systemFont(12)},
                                         {kForegroundColorAttributeName, QVariant::fromValue(colour)},
                                         {kParagraphStyleAttributeName, QVariant::fromValue(paragraph)}});
    const double t = TextLayout(string, QSizeF(w, 1e9)).usedRect().height();
    context.save();
    context.clipToRect(QRectF(0, 0, w, h));
    context.drawAttributedString(string, QRectF(kTitleInset, (h - t) / 2.0, w, t));
    context.restore();
}

void PLRPopupButton::mouseDown(const MouseEvent&)
{
    if (!isEnabled())
        return;
    openMenu(false);
}

void PLRPopupButton::keyPressEvent(QKeyEvent* event)
{
    if (!isEnabled() || (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        Control::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Down:
        // The open menu takes the keys: arrows, Return to choose, Escape to close.
        openMenu(true);
        event->accept();
        return;
    default:
        Control::keyPressEvent(event);
        return;
    }
}

void PLRPopupButton::openMenu(bool fromKeyboard)
{
    auto* menu = new QMenu;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* highlighted = nullptr;
    for (int i = 0; i < m_items.size(); ++i) {
        if (m_items[i].separator) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(m_items[i].title);
        action->setCheckable(true);
        action->setChecked(m_items[i].on);
        if (!highlighted || i == m_selected)
            highlighted = action;
        QPointer<PLRPopupButton> self(this);
        connect(action, &QAction::triggered, this, [self, i] {
            if (self)
                self->chooseItemAtIndex(i);
        });
    }
    const int minimumWidth = int(bounds().width());
    menu->setMinimumWidth(minimumWidth);
    connect(menu, &QMenu::aboutToShow, this, [this] { willOpenMenu(); });
    connect(menu, &QMenu::aboutToHide, this, [this] { didCloseMenu(); });
    delete m_menu;
    m_menu = menu;
    // The point (0, 5) of the control in y-up coordinates, converted to Qt's.
    const QPoint at = toQt(kMenuOrigin).toPoint();
    if (menuPresenter()) {
        willOpenMenu();
        if (fromKeyboard && highlighted)
            menu->setActiveAction(highlighted);
        menuPresenter()(this, menu, at, minimumWidth);
        return;
    }
    menu->popup(mapToGlobal(at));
    if (fromKeyboard && highlighted)
        menu->setActiveAction(highlighted);
}
